#pragma once

class QCoreApplication;

namespace q7rk {

// Qt's own texts (file dialogs, standard buttons) in Chinese, like the rest of the program:
// loads qtbase_zh_CN from Qt's translations folder. False when it is not installed; the
// program then runs with Qt's English texts.
bool installChineseTranslation(QCoreApplication& app);

} // namespace q7rk
