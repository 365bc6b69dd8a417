#include "HelpWindow.h"

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
    resize(760, 640);
}

} // namespace q7rk
