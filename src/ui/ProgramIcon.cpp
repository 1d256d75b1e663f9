#include "ui/ProgramIcon.h"

namespace mirvo {

QIcon ProgramIcon() {
    QIcon builtIn;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        builtIn.addFile(QStringLiteral(":/mirvo/mirvo-%1.png").arg(size), QSize(size, size));
    }
    return QIcon::fromTheme(QStringLiteral("mirvo"), builtIn);
}

}  // namespace mirvo
