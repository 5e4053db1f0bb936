#pragma once
// The change-document prompt: shown modally between two scans of one command, closed by its
// one button.
#include <QDialog>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace velorix {

// The change-document prompt: asks the user to put the next sheet on the scanner.
class Tchangerdoc : public QDialog {
    Q_OBJECT
public:
    explicit Tchangerdoc(QWidget* owner = nullptr);

    void Button2Click(QObject* Sender);

    QFrame* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* Button2 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace velorix
