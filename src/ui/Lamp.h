#pragma once

#include <QColor>
#include <QWidget>

namespace anunciel {

// A round lamp filled with one colour: the RF and IP indicators of the main window.
class Lamp : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Lamp)
    Q_PROPERTY(QColor colour READ colour WRITE setColour)

public:
    explicit Lamp(QWidget *parent = nullptr);

    QColor colour() const { return m_colour; }
    void setColour(const QColor &colour);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_colour{Qt::green};
};

} // namespace anunciel
