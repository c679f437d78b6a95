#pragma once

#include <QByteArray>

#include <vector>

namespace anunciel {

// The frame times stored in a GIF, in milliseconds, one per frame in order (0 where a
// frame has none). Qt's reader turns stored times of 0 and 10 ms into 100 ms, as web
// browsers do; the animations here play with the times their pictures store. A damaged or
// cut-off file gives the frames read up to the damage.
std::vector<int> gifFrameDelays(const QByteArray &gif);

} // namespace anunciel
