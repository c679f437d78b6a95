#include "WindowDesign.h"

#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace anunciel {

namespace {

// Makes the Windows faces of the design resolve to the nearest available ones, once, before
// the first design font is made.
void installFontSubstitutes()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Liberation's faces share the metrics of the Windows ones; Microsoft Sans Serif is
        // the outline successor of the bitmap-only MS Sans Serif, which Qt cannot draw.
        QFont::insertSubstitutions(kSansFace,
                                   {QStringLiteral("Microsoft Sans Serif"),
                                    QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
        QFont::insertSubstitutions(kSerifFace, {QStringLiteral("Liberation Serif")});
    });
}

// "images/name.png" -> "images/name@2x.png".
QString doubleResolutionFile(const QString &file)
{
    const QFileInfo info(file);
    const QString suffix = info.suffix();
    return file.left(file.size() - (suffix.isEmpty() ? 0 : suffix.size() + 1)) +
           QStringLiteral("@2x") + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
}

} // namespace

QFont designFont(const QString &face, qreal points, FontWeight weight)
{
    installFontSubstitutes();
    QFont font(face);
    font.setPointSizeF(points);
    font.setWeight(weight == FontWeight::Bold ? QFont::Bold : QFont::Normal);
    font.setStyleHint(face == kSerifFace ? QFont::Serif : QFont::SansSerif);
    return font;
}

QFont defaultDesignFont()
{
    return designFont(kSansFace, 8.25, FontWeight::Regular);
}

void setColour(QWidget *widget, int role, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::ColorRole(role), colour);
    widget->setPalette(palette);
}

QLabel *designLabel(QWidget *parent, const char *name, const QString &caption, int left, int top,
                    int width, int height, const QFont &font)
{
    auto *label = place<QLabel>(parent, name, left, top, width, height);
    label->setText(caption);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setAutoFillBackground(true);
    // Its own text colour, so a container's (the frame's blue caption) does not pass on.
    setColour(label, QPalette::WindowText, QGuiApplication::palette().color(QPalette::WindowText));
    return label;
}

QWidget *designLine(QWidget *parent, const char *name, int left, int top, int right)
{
    auto *line = new QFrame(parent);
    line->setObjectName(QString::fromLatin1(name));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setLineWidth(1);
    line->setGeometry(twips(left), twips(top), twips(right) - twips(left) + 1, 1);
    return line;
}

void setTabOrderByIndex(std::vector<std::pair<int, QWidget *>> controls)
{
    std::sort(controls.begin(), controls.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    QWidget *previous = nullptr;
    for (const auto &[index, control] : controls) {
        if (!(control->focusPolicy() & Qt::TabFocus))
            continue;
        if (previous)
            QWidget::setTabOrder(previous, control);
        previous = control;
    }
}

void centreOnScreen(QWidget *window)
{
    const QScreen *screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    window->move(area.x() + (area.width() - window->width()) / 2,
                 area.y() + (area.height() - window->height()) / 2);
}

QIcon designIcon(std::initializer_list<QString> files)
{
    QIcon icon;
    for (const QString &file : files) {
        icon.addFile(file);
        const QString doubled = doubleResolutionFile(file);
        if (QFile::exists(doubled))
            icon.addFile(doubled);
    }
    return icon;
}

QString designPictureFile(const QString &file, qreal devicePixelRatio)
{
    const QString doubled = doubleResolutionFile(file);
    return devicePixelRatio > 1.0 && QFile::exists(doubled) ? doubled : file;
}

QPixmap designPicture(const QString &file, qreal devicePixelRatio)
{
    const QString chosen = designPictureFile(file, devicePixelRatio);
    QPixmap picture(chosen);
    picture.setDevicePixelRatio(chosen == file ? 1.0 : 2.0);
    return picture;
}

QPixmap sharpPixmap(const QIcon &icon, const QSize &size, qreal devicePixelRatio, QIcon::Mode mode)
{
    const qreal whole = std::max(1.0, std::ceil(devicePixelRatio));
    QPixmap picture = icon.pixmap(size, whole, mode);
    if (picture.isNull() || whole == devicePixelRatio)
        return picture;
    const QSize device = (QSizeF(size) * devicePixelRatio).toSize();
    picture = picture.scaled(device, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    picture.setDevicePixelRatio(devicePixelRatio);
    return picture;
}

} // namespace anunciel
