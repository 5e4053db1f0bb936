#pragma once
// The help window: one tab of French explanations per command; a click in the text closes it.
#include <QDialog>
#include <QList>

class QPlainTextEdit;
class QTabWidget;

namespace velorix {

// The help window, made hidden at start and shown by "AIDE".
class Thelp : public QDialog {
    Q_OBJECT
public:
    explicit Thelp(QWidget* parent = nullptr);

    // Shows the window modally, centred on the main window; returns when it is closed.
    void showOver(QWidget* mainWindow);
    void Memo1Click(QObject* Sender);

    QTabWidget* PageControl1 = nullptr;
    QList<QPlainTextEdit*> memos; // Memo1 .. Memo11, one per tab

    // The tab captions, in order.
    static QStringList tabCaptions();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace velorix
