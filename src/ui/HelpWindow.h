#pragma once

#include <QDialog>

class QTextEdit;

namespace anunciel {

// The help window `Ajuda`: a few lines on what the program does and how to record the
// announcements, in an editable box. Built from its design each time it is created, so
// whatever was typed into the box is gone the next time.
class HelpWindow : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HelpWindow)

public:
    explicit HelpWindow(QWidget *parent = nullptr);

    // "Retornar": closes the window, as its close box does.
    void Command1_Click();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QTextEdit *m_text = nullptr;
};

} // namespace anunciel
