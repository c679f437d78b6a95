#include "ScreenFrames.h"

namespace anunciel {

std::unique_ptr<ScreenFrames> makeScreenFrames(QWidget *, const std::vector<QPixmap> &)
{
    return nullptr;
}

} // namespace anunciel
