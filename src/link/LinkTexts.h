#pragma once

#include <QString>

namespace q7rk::linktexts {

// What the link supervisor tells the operator once the instrument answered the handshake.
inline QString connectTitle() {
    return QStringLiteral("Q-7RK-M-2011060705ERP-1.15智能TV仪测试系统");
}
inline QString connected() {
    return QStringLiteral("Q-7RK-M-2011060705ERP-1.15连接成功！您可以进行下一步操作测试");
}

} // namespace q7rk::linktexts
