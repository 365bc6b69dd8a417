#pragma once

#include "settings/ProgramTitle.h"

#include <QString>

namespace q7rk::linktexts {

// What the link supervisor tells the operator once the instrument answered the handshake.
inline QString connectTitle() {
    return programTitle::full();
}
inline QString connected() {
    return programTitle::shortName() + QStringLiteral("连接成功！您可以进行下一步操作测试");
}

} // namespace q7rk::linktexts
