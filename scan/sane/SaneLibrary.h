#pragma once
// libsane for the SANE backend: the library's lifetime with its device list, open handles, option
// access by name, and the connected device. Internal to the backend.

#include "scan/sane/DriverThreads.h"
#include "scan/sane/SaneError.h"
#include "scan/sane/SaneTransfer.h"

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace velorix::scan::sane {

struct DeviceRecord {
    std::string name, vendor, model, type;
};

// ---------------------------------------------------------------------------------------------
// libsane lifetime: initialised while any object of this backend exists, exited with the last.
// It honours SANE_CONFIG_DIR as libsane reads it; we never set it.

class SaneLibrary {
public:
    SaneLibrary() {
        KeepCancellationDeferred(); // before any backend starts a thread
        SANE_Int version = 0;
        const SANE_Status status = sane_init(&version, nullptr);
        if (status != SANE_STATUS_GOOD)
            ThrowSane(status);
    }
    ~SaneLibrary() { sane_exit(); }
    SaneLibrary(const SaneLibrary&) = delete;
    SaneLibrary& operator=(const SaneLibrary&) = delete;

private:
    std::vector<DeviceRecord> devices_;
    bool listed_ = false;
    std::chrono::steady_clock::time_point listedAt_;

public:
    // Asking every backend takes seconds, and the scan command lists twice in a row (reconnect,
    // then reopen): a list younger than this is reused.
    static constexpr std::chrono::seconds kListFresh{10};

    std::vector<DeviceRecord> Devices() {
        const auto now = std::chrono::steady_clock::now();
        if (listed_ && now - listedAt_ < kListFresh)
            return devices_;
        const SANE_Device** list = nullptr;
        const SANE_Status status = sane_get_devices(&list, SANE_FALSE);
        if (status != SANE_STATUS_GOOD)
            ThrowSane(status);
        std::vector<DeviceRecord> recs;
        for (const SANE_Device** d = list; d && *d; ++d)
            recs.push_back({(*d)->name ? (*d)->name : "", (*d)->vendor ? (*d)->vendor : "",
                            (*d)->model ? (*d)->model : "", (*d)->type ? (*d)->type : ""});
        devices_ = recs;
        listed_ = true;
        listedAt_ = std::chrono::steady_clock::now();
        return recs;
    }

    static std::shared_ptr<SaneLibrary> Get() {
        static std::mutex mutex;
        static std::weak_ptr<SaneLibrary> current;
        std::lock_guard lock(mutex);
        auto lib = current.lock();
        if (!lib) {
            lib = std::make_shared<SaneLibrary>();
            current = lib;
        }
        return lib;
    }
};

// An open device; closing it is the last thing done with it.
class SaneHandle {
public:
    SaneHandle(std::shared_ptr<SaneLibrary> lib, const std::string& name) : lib_(std::move(lib)) {
        const SANE_Status status = sane_open(name.c_str(), &handle_);
        if (status != SANE_STATUS_GOOD)
            ThrowSane(status);
    }
    ~SaneHandle() { sane_close(handle_); }
    SaneHandle(const SaneHandle&) = delete;
    SaneHandle& operator=(const SaneHandle&) = delete;
    SANE_Handle get() const { return handle_; }

private:
    std::shared_ptr<SaneLibrary> lib_; // declared first: outlives the handle
    SANE_Handle handle_ = nullptr;
};

inline bool ContainsNoCase(const std::string& text, const std::string& part) {
    auto it = std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
    return it != text.end();
}

[[noreturn]] inline void Refuse() {
    ThrowSane(SANE_STATUS_INVAL);
}

// ---------------------------------------------------------------------------------------------
// Option access by SANE option name.

class Options {
public:
    explicit Options(SANE_Handle h) : h_(h) {}

    int Find(const char* name) const {
        SANE_Int count = 0;
        if (sane_control_option(h_, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD)
            return -1;
        for (int i = 1; i < count; ++i) {
            const SANE_Option_Descriptor* d = sane_get_option_descriptor(h_, i);
            if (d && d->name && std::strcmp(d->name, name) == 0 && SANE_OPTION_IS_ACTIVE(d->cap))
                return i;
        }
        return -1;
    }
    const SANE_Option_Descriptor* Desc(int i) const { return sane_get_option_descriptor(h_, i); }
    bool Has(const char* name) const { return Find(name) >= 0; }
    bool Settable(const char* name) const {
        const int i = Find(name);
        return i >= 0 && SANE_OPTION_IS_SETTABLE(Desc(i)->cap);
    }
    bool IsNumber(int i) const {
        const auto* d = Desc(i);
        return d && (d->type == SANE_TYPE_INT || d->type == SANE_TYPE_FIXED) &&
               d->size == static_cast<SANE_Int>(sizeof(SANE_Word));
    }

    double GetNumber(int i) const {
        SANE_Word w = 0;
        Check(sane_control_option(h_, i, SANE_ACTION_GET_VALUE, &w, nullptr));
        return Desc(i)->type == SANE_TYPE_FIXED ? SANE_UNFIX(w) : w;
    }
    std::string GetString(int i) const {
        std::vector<char> buf(static_cast<std::size_t>(std::max<SANE_Int>(Desc(i)->size, 1)) + 1,
                              0);
        Check(sane_control_option(h_, i, SANE_ACTION_GET_VALUE, buf.data(), nullptr));
        return buf.data();
    }
    // Returns the value the device took (it may round).
    double SetNumber(int i, double value) {
        SANE_Word w = Desc(i)->type == SANE_TYPE_FIXED ? SANE_FIX(value)
                                                       : static_cast<SANE_Word>(std::lround(value));
        Check(sane_control_option(h_, i, SANE_ACTION_SET_VALUE, &w, nullptr));
        return GetNumber(i);
    }
    void SetString(int i, const std::string& value) {
        std::vector<char> buf(static_cast<std::size_t>(std::max<SANE_Int>(Desc(i)->size, 1)) + 1,
                              0);
        if (value.size() >= buf.size())
            Refuse();
        std::memcpy(buf.data(), value.data(), value.size());
        Check(sane_control_option(h_, i, SANE_ACTION_SET_VALUE, buf.data(), nullptr));
    }
    // A value given as text, read by the option's type; an absent option is passed over.
    void SetText(const std::string& name, const std::string& text) {
        const int i = Find(name.c_str());
        if (i < 0)
            return;
        const auto* d = Desc(i);
        switch (d->type) {
        case SANE_TYPE_STRING:
            SetString(i, text);
            return;
        case SANE_TYPE_BOOL: {
            SANE_Word w;
            if (text == "yes" || text == "true" || text == "1")
                w = SANE_TRUE;
            else if (text == "no" || text == "false" || text == "0")
                w = SANE_FALSE;
            else
                Refuse();
            Check(sane_control_option(h_, i, SANE_ACTION_SET_VALUE, &w, nullptr));
            return;
        }
        case SANE_TYPE_INT:
        case SANE_TYPE_FIXED: {
            if (!IsNumber(i))
                Refuse();
            double value = 0; // C locale, whatever the user's
            const auto [end, error] =
                std::from_chars(text.data(), text.data() + text.size(), value);
            if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
                Refuse();
            if (!Allows(i, value))
                Refuse();
            SetNumber(i, value);
            return;
        }
        default:
            Refuse();
        }
    }
    std::vector<std::string> StringList(int i) const {
        std::vector<std::string> list;
        const auto* d = Desc(i);
        if (d->constraint_type == SANE_CONSTRAINT_STRING_LIST)
            for (const SANE_String_Const* s = d->constraint.string_list; *s; ++s)
                list.emplace_back(*s);
        return list;
    }
    // Largest value the constraint allows; 0 without a constraint.
    double MaxNumber(int i) const {
        const auto* d = Desc(i);
        auto unfix = [d](SANE_Word w) { return d->type == SANE_TYPE_FIXED ? SANE_UNFIX(w) : w; };
        if (d->constraint_type == SANE_CONSTRAINT_RANGE)
            return unfix(d->constraint.range->max);
        if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST) {
            double best = 0;
            for (SANE_Int k = 1; k <= d->constraint.word_list[0]; ++k)
                best = std::max(best, unfix(d->constraint.word_list[k]));
            return best;
        }
        return 0;
    }
    bool Allows(int i, double value) const {
        const auto* d = Desc(i);
        const SANE_Word w = d->type == SANE_TYPE_FIXED ? SANE_FIX(value)
                                                       : static_cast<SANE_Word>(std::lround(value));
        if (d->constraint_type == SANE_CONSTRAINT_RANGE) {
            const SANE_Range* r = d->constraint.range;
            if (w < r->min || w > r->max)
                return false;
            return r->quant == 0 || (w - r->min) % r->quant == 0;
        }
        if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST) {
            for (SANE_Int k = 1; k <= d->constraint.word_list[0]; ++k)
                if (d->constraint.word_list[k] == w)
                    return true;
            return false;
        }
        return true;
    }

private:
    static void Check(SANE_Status s) {
        if (s != SANE_STATUS_GOOD)
            ThrowSane(s);
    }
    SANE_Handle h_;
};

// ---------------------------------------------------------------------------------------------
// The connected device and the state the property ids need beyond SANE's options.

class SaneDevice : public IDevice, public std::enable_shared_from_this<SaneDevice> {
public:
    SaneDevice(std::shared_ptr<SaneLibrary> lib, const std::string& name,
               const std::vector<SaneOptionValue>& presets)
        : handle_(std::move(lib), name) {
        Options o = Opts();
        for (const SaneOptionValue& preset : presets)
            o.SetText(preset.name, preset.value);
    }

    std::unique_ptr<IProperties> Properties() override;
    std::unique_ptr<IItems> Items() override;

    SANE_Handle Handle() const { return handle_.get(); }
    Options Opts() const { return Options(handle_.get()); }

    // Scan area in pixels at the current resolution, as last written (x, y, width, height).
    int area[4] = {0, 0, 0, 0};
    bool areaWritten[4] = {false, false, false, false};
    int pages = 1;
    int pageSize = wia::PAGE_A4;
    std::string format = wia::ImgFmt_BMP;

private:
    SaneHandle handle_;
};

} // namespace velorix::scan::sane
