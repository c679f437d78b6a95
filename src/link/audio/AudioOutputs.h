#pragma once

// The station's audio outputs and inputs as Qt lists them, and the one the station's
// settings name.

#include <QAudioDevice>
#include <QList>
#include <QString>

namespace anunciel {

// The output named `name`, by Qt's description of it (what the desktop's sound settings
// show) or by its system id; the system's default output (or the first there is) when `name`
// is empty. A null device when there is none of that name, or no output at all.
QAudioDevice findAudioOutput(const QString &name);

// One line per output: its description, its id, and a mark on the default one; for the
// operator to copy a name into the station's settings.
QStringList audioOutputLines();

// The same for the inputs the receiver's audio may come in on.
QAudioDevice findAudioInput(const QString &name);
QStringList audioInputLines();

} // namespace anunciel
