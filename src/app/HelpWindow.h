#pragma once

#include <QWidget>

class QTextBrowser;

namespace q7rk {

// `help1`: the operating document, a fixed HTML page built into the program. It closes with
// its 关闭 button or Esc.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* DocumentUrl = "qrc:/help/help.html";

    explicit HelpWindow(QWidget* parent = nullptr);

    QTextBrowser* browser() const { return m_browser; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QTextBrowser* m_browser;
};

} // namespace q7rk
