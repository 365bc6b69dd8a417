#include "HelpWindow.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

// The document lives in a static library, whose resources are only linked in when asked for.
static void initHelpResource() {
    Q_INIT_RESOURCE(help);
}

namespace q7rk {

HelpWindow::HelpWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), m_browser(new QTextBrowser(this)) {
    initHelpResource();
    setObjectName(QStringLiteral("help1"));
    setWindowTitle(QStringLiteral("帮助"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    m_browser->setOpenLinks(true);
    m_browser->setSource(QUrl(QString::fromLatin1(DocumentUrl)));

    auto* buttons = new QDialogButtonBox(this);
    buttons->setContentsMargins(6, 0, 6, 6);
    QPushButton* close = buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("HelpClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);
    layout->addWidget(buttons);
    resize(760, 640);
}

// Esc closes it as it would a dialog; the document passes the key on, as it has no use for it.
void HelpWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace q7rk
