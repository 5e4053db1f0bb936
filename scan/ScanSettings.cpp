#include "scan/ScanSettings.h"

namespace velorix::scan {

namespace {

std::string IdText(int id) {
    return std::to_string(id);
}

class PropertiesTarget : public ISettingsTarget {
public:
    explicit PropertiesTarget(IDevice& device) : device_(device) {}
    bool DeviceExists(int id) override { return device_.Properties()->Exists(IdText(id)); }
    bool DeviceWritable(int id) override {
        auto props = device_.Properties();
        return props->Exists(IdText(id)) && !props->Item(IdText(id))->IsReadOnly();
    }
    TVariant DeviceValue(int id) override {
        return device_.Properties()->Item(IdText(id))->Value();
    }
    void SetDevice(int id, const TVariant& value) override {
        device_.Properties()->Item(IdText(id))->SetValue(value);
    }
    bool ItemWritable(int id) override {
        auto props = device_.Items()->Item(1)->Properties();
        return props->Exists(IdText(id)) && !props->Item(IdText(id))->IsReadOnly();
    }
    void SetItem(int id, const TVariant& value) override {
        device_.Items()->Item(1)->Properties()->Item(IdText(id))->SetValue(value);
    }

private:
    IDevice& device_;
};

} // namespace

std::int32_t BedPixels(std::int32_t thousandths, std::int32_t dpi) {
    return static_cast<std::int32_t>(thousandths / 1000.0 * dpi);
}

int DocumentHandlingOf(SourceKind kind) {
    switch (kind) {
    case SourceKind::Flatbed:
        return wia::FLATBED;
    case SourceKind::Feeder:
        return wia::FEEDER;
    case SourceKind::Duplex:
        return wia::FEEDER | wia::DUPLEX;
    }
    return 0;
}

std::vector<SourceKind> SourceKindsOf(int capabilities) {
    std::vector<SourceKind> kinds;
    if (capabilities & wia::FLATBED)
        kinds.push_back(SourceKind::Flatbed);
    if (capabilities & wia::FEEDER)
        kinds.push_back(SourceKind::Feeder);
    if ((capabilities & wia::FEEDER) && (capabilities & wia::DUPLEX))
        kinds.push_back(SourceKind::Duplex);
    return kinds;
}

std::int32_t PageSizeOf(PaperSize size) {
    switch (size) {
    case PaperSize::A4:
        return wia::PAGE_A4;
    case PaperSize::A5:
        return wia::PAGE_A5;
    case PaperSize::Letter:
        return wia::PAGE_LETTER;
    case PaperSize::Legal:
        return wia::PAGE_USLEGAL;
    case PaperSize::Bed:
        break;
    }
    return wia::PAGE_AUTO;
}

std::unique_ptr<ISettingsTarget> DeviceTarget(IDevice& device) {
    return std::make_unique<PropertiesTarget>(device);
}

SettingsOutcome ApplyScanSettings(ISettingsTarget& t, const ScanSettings& s) {
    if (!t.DeviceExists(wia::DPS_HORIZONTAL_BED_SIZE) ||
        !t.DeviceExists(wia::DPS_VERTICAL_BED_SIZE))
        return SettingsOutcome::Incompatible;
    // The source comes first: the bed, the page size and the area are the chosen source's.
    if (s.documentHandling != 0) {
        if (t.DeviceWritable(wia::DPS_DOCUMENT_HANDLING_SELECT))
            t.SetDevice(wia::DPS_DOCUMENT_HANDLING_SELECT, std::int32_t{s.documentHandling});
        else if (s.documentHandling != wia::FLATBED)
            throw EPlatformError("Ce scanner n'a pas de chargeur de documents.");
    }
    // Feeder settings are a courtesy: a device that will not take them still scans.
    try {
        if (t.DeviceWritable(wia::DPS_PAGES))
            t.SetDevice(wia::DPS_PAGES, s.pages);
    } catch (const std::exception&) {
    }
    try {
        if (t.DeviceWritable(wia::DPS_PAGE_SIZE))
            t.SetDevice(wia::DPS_PAGE_SIZE, s.pageSize);
    } catch (const std::exception&) {
    }

    if (t.ItemWritable(wia::IPA_DATATYPE))
        t.SetItem(wia::IPA_DATATYPE, s.colour ? wia::DATA_COLOR : wia::DATA_GRAYSCALE);
    if (t.ItemWritable(wia::IPS_CUR_INTENT))
        t.SetItem(wia::IPS_CUR_INTENT,
                  s.colour ? wia::INTENT_IMAGE_TYPE_COLOR : wia::INTENT_IMAGE_TYPE_GRAYSCALE);
    if (t.ItemWritable(wia::IPA_DEPTH))
        t.SetItem(wia::IPA_DEPTH, std::int32_t{s.colour ? 24 : 8});

    if (t.ItemWritable(wia::IPS_BRIGHTNESS))
        t.SetItem(wia::IPS_BRIGHTNESS, s.brightness);
    if (t.ItemWritable(wia::IPS_CONTRAST))
        t.SetItem(wia::IPS_CONTRAST, s.contrast);

    try {
        t.SetItem(wia::IPS_XRES, s.dpi);
        t.SetItem(wia::IPS_YRES, s.dpi);
    } catch (const std::exception&) {
        return SettingsOutcome::ResolutionRefused;
    }

    if (s.fullArea) {
        auto bed = [&](int id) {
            return t.DeviceExists(id) ? BedPixels(VariantToInt(t.DeviceValue(id)), s.dpi) : 0;
        };
        t.SetItem(wia::IPS_XPOS, std::int32_t{0});
        t.SetItem(wia::IPS_YPOS, std::int32_t{0});
        t.SetItem(wia::IPS_XEXTENT, bed(wia::DPS_HORIZONTAL_BED_SIZE));
        t.SetItem(wia::IPS_YEXTENT, bed(wia::DPS_VERTICAL_BED_SIZE));
    } else {
        t.SetItem(wia::IPS_XPOS, s.area[0]);
        t.SetItem(wia::IPS_YPOS, s.area[1]);
        t.SetItem(wia::IPS_XEXTENT, s.area[2]);
        t.SetItem(wia::IPS_YEXTENT, s.area[3]);
    }
    return SettingsOutcome::Applied;
}

// ---- One transfer a page -----------------------------------------------------------------

StackEnd ICommonDialog::ShowStack(IDevice& device, const ScanSettings& settings,
                                  const PageSink& sink) {
    StackEnd end;
    end.outcome = ApplyScanSettings(*DeviceTarget(device), settings);
    if (end.outcome != SettingsOutcome::Applied) {
        end.kind = StackEnd::Refused;
        return end;
    }
    auto item = device.Items()->Item(1);
    for (int made = 0; settings.pages == 0 || made < settings.pages; ++made) {
        std::unique_ptr<IImageFile> file;
        try {
            file = ShowTransfer(*item, wia::ImgFmt_BMP, false);
        } catch (const EScannerLost& e) {
            end.kind = StackEnd::Failed;
            end.lost = true;
            end.message = e.what();
            return end;
        } catch (const EFeederStop& e) {
            if (e.Reason() == FeederReason::Empty) {
                end.kind = made == 0 ? StackEnd::Empty : StackEnd::Complete;
                return end;
            }
            end.kind = StackEnd::Failed;
            end.reason = e.Reason();
            end.message = e.what();
            return end;
        } catch (const std::exception& e) {
            end.kind = StackEnd::Failed;
            end.message = e.what();
            return end;
        }
        if (!file) {
            end.kind = StackEnd::Cancelled;
            return end;
        }
        QImage page = file->Picture();
        if (page.isNull()) {
            const std::vector<std::uint8_t> bytes = file->FileData();
            if (!page.loadFromData(bytes.data(), static_cast<int>(bytes.size()), "BMP"))
                throw EPlatformError("Image scannée illisible (BMP)");
        }
        sink(std::move(page));
    }
    return end;
}

} // namespace velorix::scan
