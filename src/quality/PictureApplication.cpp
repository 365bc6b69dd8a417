#include "quality/PictureApplication.h"

#include <QGuiApplication>
#include <cstring>

namespace q7rk {

std::unique_ptr<QCoreApplication> pictureApplication(int& argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--png") != 0 && std::strncmp(argv[i], "--png=", 6) != 0) continue;
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        return std::make_unique<QGuiApplication>(argc, argv);
    }
    return std::make_unique<QCoreApplication>(argc, argv);
}

} // namespace q7rk
