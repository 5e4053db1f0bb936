// Where the paper comes from and its size: "Source" (the connected scanner's flatbed, feeder,
// feeder on both sides), "Format" and "Ignorer les pages blanches", each remembered: the source
// per scanner, by the scanner's name as the list shows it, the others for every scanner.
#include "app/window/MainWindow.h"

#include <QAction>
#include <QComboBox>
#include <QUrl>

namespace velorix {

namespace {

const QString kFormatSetting = QStringLiteral("Format");
const QString kSkipBlankSetting = QStringLiteral("IgnorerPagesBlanches");

// A scanner's name may hold any character, slashes included: its group in the settings is the
// name percent-encoded.
QString SourceSetting(const QString& scannerName) {
    return QString::fromLatin1(QUrl::toPercentEncoding(scannerName)) + QStringLiteral("/Source");
}

} // namespace

void Tvelorix_2::BuildPaperChoice() {
    for (const scan::PaperFormat& f : scan::PaperFormats())
        cbFormat->addItem(QString::fromUtf8(f.caption), static_cast<int>(f.size));
    const QString stored = services_.settings->read(kFormatSetting).value_or(QString());
    const auto paper = scan::PaperFromCaption(stored.toStdString());
    ChoosePaper(paper.value_or(scan::PaperSize::Bed));
    SetSkipBlankPages(readIntSetting(*services_.settings, kSkipBlankSetting).value_or(0) == 1);
    connect(cbSource, &QComboBox::activated, this,
            [this] { Guarded([this] { cbSourceChange(cbSource); }); });
    connect(cbFormat, &QComboBox::activated, this,
            [this] { Guarded([this] { cbFormatChange(cbFormat); }); });
    Bind(IgnorerPagesBlanches1, &Tvelorix_2::IgnorerPagesBlanches1Click);
    Bind(RectoVersoManuel1, &Tvelorix_2::RectoVersoManuel1Click);
}

void Tvelorix_2::SetScannerSources(const std::vector<scan::OfferedSource>& sources) {
    sources_ = sources;
    cbSource->clear();
    for (const scan::OfferedSource& s : sources_)
        cbSource->addItem(QString::fromUtf8(scan::SourceCaption(s.kind)));
    cbSource->setVisible(sources_.size() > 1);
    if (sources_.empty())
        return;
    int chosen = 0;
    if (cbDevice->currentIndex() >= 0) {
        const auto stored = services_.settings->read(SourceSetting(cbDevice->currentText()));
        if (stored) {
            const int at = cbSource->findText(*stored);
            if (at >= 0)
                chosen = at;
        }
    }
    cbSource->setCurrentIndex(chosen);
}

std::optional<scan::OfferedSource> Tvelorix_2::ChosenSource() const {
    const int at = cbSource->currentIndex();
    if (at < 0 || static_cast<std::size_t>(at) >= sources_.size())
        return std::nullopt;
    return sources_[static_cast<std::size_t>(at)];
}

bool Tvelorix_2::ChooseSource(scan::SourceKind kind) {
    for (std::size_t i = 0; i < sources_.size(); ++i)
        if (sources_[i].kind == kind) {
            cbSource->setCurrentIndex(static_cast<int>(i));
            return true;
        }
    return false;
}

scan::PaperSize Tvelorix_2::ChosenPaper() const {
    const QVariant size = cbFormat->currentData();
    return size.isValid() ? static_cast<scan::PaperSize>(size.toInt()) : scan::PaperSize::Bed;
}

void Tvelorix_2::ChoosePaper(scan::PaperSize size) {
    const int at = cbFormat->findData(static_cast<int>(size));
    if (at >= 0)
        cbFormat->setCurrentIndex(at);
}

bool Tvelorix_2::SkipBlankPages() const {
    return IgnorerPagesBlanches1->isChecked();
}

void Tvelorix_2::SetSkipBlankPages(bool on) {
    IgnorerPagesBlanches1->setChecked(on);
}

// Remembered at once, as every choice here is, not only when the window closes.
void Tvelorix_2::cbSourceChange(QObject*) {
    if (cbDevice->currentIndex() < 0 || cbSource->currentIndex() < 0)
        return;
    services_.settings->write(SourceSetting(cbDevice->currentText()), cbSource->currentText());
    services_.settings->flush();
}

void Tvelorix_2::cbFormatChange(QObject*) {
    services_.settings->write(kFormatSetting, cbFormat->currentText());
    services_.settings->flush();
}

void Tvelorix_2::IgnorerPagesBlanches1Click(QObject*) {
    services_.settings->write(kSkipBlankSetting,
                              SkipBlankPages() ? QStringLiteral("1") : QStringLiteral("0"));
    services_.settings->flush();
}

} // namespace velorix
