#pragma once

#include <QString>
#include <string_view>

// The program's names as the operator sees them and as the files know them. The short form
// names the settings and data folders (~/.config/<short>/<short>.ini): changing it leaves
// every operator's settings and results behind.
namespace q7rk::programTitle {

inline constexpr char Short[] = "Q-7RK-M-2011060705ERP-1.15";
// Window title and the title of the program's messages.
inline constexpr char Full[] = "Q-7RK-M-2011060705ERP-1.15智能TV仪测试系统";
// Without the release: the command line's description and the link's messages during a run.
inline constexpr char Product[] = "Q-7RK-M智能TV仪测试系统";

static_assert(std::string_view(Full).starts_with(Short));

inline QString shortName() {
    return QString::fromUtf8(Short);
}
inline QString full() {
    return QString::fromUtf8(Full);
}
inline QString product() {
    return QString::fromUtf8(Product);
}

} // namespace q7rk::programTitle
