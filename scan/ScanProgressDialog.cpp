// The scanner layer's own progress window, for programs that pass none of their own.
#include "scan/ScanPlatform.h"

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace velorix::scan {

namespace {

// The modal window: a bar and, for a scan, a Cancel button. Closing it asks for a cancel; it
// goes only once the call has ended.
class ScanProgressDialog final : public QDialog, public IScanProgress {
public:
    ScanProgressDialog(const std::string& title, const std::string& text, bool cancellable) {
        setWindowTitle(QString::fromStdString(title));
        setModal(true);
        auto* layout = new QVBoxLayout(this);
        label_ = new QLabel(QString::fromStdString(text), this);
        layout->addWidget(label_);
        bar_ = new QProgressBar(this);
        bar_->setRange(0, 0);
        bar_->setMinimumWidth(320);
        layout->addWidget(bar_);
        if (cancellable) {
            cancelButton_ = new QPushButton(QStringLiteral("Annuler"), this);
            cancelButton_->setObjectName(QStringLiteral("cancelButton"));
            layout->addWidget(cancelButton_, 0, Qt::AlignRight);
            connect(cancelButton_, &QPushButton::clicked, this, [this] { RequestCancel(); });
        }
    }

    void Show() override { show(); }
    bool IsShown() const override { return isVisible(); }
    void SetDone(double fraction) override {
        bar_->setRange(0, 1000);
        bar_->setValue(static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * 1000)));
    }
    bool CancelRequested() const override { return cancelled_; }
    void Finish() override {
        finished_ = true;
        QDialog::accept();
    }

    void reject() override {
        if (finished_)
            QDialog::reject();
        else
            RequestCancel();
    }

private:
    void RequestCancel() {
        if (cancelButton_ == nullptr || cancelled_)
            return;
        cancelled_ = true;
        label_->setText(QStringLiteral("Annulation…"));
        cancelButton_->setEnabled(false);
    }

    QLabel* label_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    bool cancelled_ = false;
    bool finished_ = false;
};

} // namespace

std::unique_ptr<IScanProgress> CreateScanProgressDialog(const std::string& title,
                                                        const std::string& text, bool cancellable) {
    return std::make_unique<ScanProgressDialog>(title, text, cancellable);
}

} // namespace velorix::scan
