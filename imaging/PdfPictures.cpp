#include "imaging/PdfPictures.h"

#include <QHash>
#include <QSet>

#include <zlib.h>

#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <variant>

namespace velorix::imaging {

namespace {

constexpr int kMaxDepth = 32;        // nesting of arrays and dictionaries
constexpr int kMaxPages = 10000;     // pages followed in one file
constexpr int kMaxTreeNodes = 20000; // page tree nodes visited
constexpr qint64 kMaxContent = 16 << 20;

struct Value;
using Dict = std::map<std::string, std::shared_ptr<Value>>;
using Array = std::vector<std::shared_ptr<Value>>;
struct Ref {
    int num = 0;
};
struct Name {
    std::string text;
};
struct Value {
    std::variant<std::monostate, double, std::string, Name, Ref, Array, Dict> v;
    qint64 streamStart = -1; // for a stream's dictionary: where its data starts
};

bool IsWhite(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}
bool IsDelimiter(char c) {
    return std::strchr("()<>[]{}/%", c) != nullptr;
}

// Reads one value at a position of the file; null where the bytes are not a value.
class Parser {
public:
    Parser(const QByteArray& data, qint64 pos) : d_(data), p_(pos) {}
    qint64 pos() const { return p_; }

    std::shared_ptr<Value> value(int depth = 0) {
        if (depth > kMaxDepth)
            return nullptr;
        skip();
        if (p_ >= d_.size())
            return nullptr;
        const char c = d_[p_];
        auto out = std::make_shared<Value>();
        if (c == '/') {
            ++p_;
            std::string name;
            while (p_ < d_.size() && !IsWhite(d_[p_]) && !IsDelimiter(d_[p_]))
                name += d_[p_++];
            out->v = Name{name};
        } else if (c == '<' && p_ + 1 < d_.size() && d_[p_ + 1] == '<') {
            p_ += 2;
            Dict dict;
            for (;;) {
                skip();
                if (p_ + 1 < d_.size() && d_[p_] == '>' && d_[p_ + 1] == '>') {
                    p_ += 2;
                    break;
                }
                auto key = value(depth + 1);
                if (!key || !std::holds_alternative<Name>(key->v))
                    return nullptr;
                auto item = value(depth + 1);
                if (!item)
                    return nullptr;
                dict[std::get<Name>(key->v).text] = item;
            }
            out->v = std::move(dict);
            // A stream follows its dictionary.
            const qint64 save = p_;
            skip();
            if (d_.mid(p_, 6) == "stream") {
                p_ += 6;
                if (p_ < d_.size() && d_[p_] == '\r')
                    ++p_;
                if (p_ < d_.size() && d_[p_] == '\n')
                    ++p_;
                out->streamStart = p_;
            } else {
                p_ = save;
            }
        } else if (c == '<') {
            ++p_;
            std::string hex;
            while (p_ < d_.size() && d_[p_] != '>')
                hex += d_[p_++];
            ++p_;
            out->v = QByteArray::fromHex(QByteArray::fromStdString(hex)).toStdString();
        } else if (c == '[') {
            ++p_;
            Array array;
            for (;;) {
                skip();
                if (p_ < d_.size() && d_[p_] == ']') {
                    ++p_;
                    break;
                }
                auto item = value(depth + 1);
                if (!item)
                    return nullptr;
                array.push_back(item);
            }
            out->v = std::move(array);
        } else if (c == '(') {
            ++p_;
            std::string text;
            int open = 1;
            while (p_ < d_.size() && open > 0) {
                const char ch = d_[p_++];
                if (ch == '\\' && p_ < d_.size()) {
                    text += d_[p_++];
                    continue;
                }
                open += ch == '(' ? 1 : ch == ')' ? -1 : 0;
                if (open > 0)
                    text += ch;
            }
            out->v = text;
        } else if (std::isdigit(uchar(c)) || c == '-' || c == '+' || c == '.') {
            const double number = this->number();
            // "N G R" is a reference.
            const qint64 save = p_;
            skip();
            const qint64 genStart = p_;
            while (p_ < d_.size() && std::isdigit(uchar(d_[p_])))
                ++p_;
            if (p_ > genStart) {
                skip();
                if (p_ < d_.size() && d_[p_] == 'R' &&
                    (p_ + 1 >= d_.size() || IsWhite(d_[p_ + 1]) || IsDelimiter(d_[p_ + 1]))) {
                    ++p_;
                    out->v = Ref{int(number)};
                    return out;
                }
            }
            p_ = save;
            out->v = number;
        } else if (std::isalpha(uchar(c))) {
            std::string word;
            while (p_ < d_.size() && std::isalpha(uchar(d_[p_])))
                word += d_[p_++];
            if (word != "true" && word != "false" && word != "null")
                return nullptr;
        } else {
            return nullptr;
        }
        return out;
    }

private:
    void skip() {
        while (p_ < d_.size()) {
            if (IsWhite(d_[p_])) {
                ++p_;
            } else if (d_[p_] == '%') {
                while (p_ < d_.size() && d_[p_] != '\n' && d_[p_] != '\r')
                    ++p_;
            } else {
                break;
            }
        }
    }
    double number() {
        std::string text;
        while (p_ < d_.size() && (std::isdigit(uchar(d_[p_])) || std::strchr("+-.", d_[p_])) &&
               text.size() < 32)
            text += d_[p_++];
        try {
            return std::stod(text);
        } catch (...) {
            return 0;
        }
    }

    const QByteArray& d_;
    qint64 p_;
};

class Document {
public:
    explicit Document(const QByteArray& data) : d_(data) { FindObjects(); }

    std::shared_ptr<Value> Object(int num) {
        const auto it = offsets_.find(num);
        if (it == offsets_.end())
            return nullptr;
        Parser parser(d_, it->second);
        return parser.value();
    }
    std::shared_ptr<Value> Resolve(std::shared_ptr<Value> v, int hops = 0) {
        while (v && std::holds_alternative<Ref>(v->v) && hops++ < 8)
            v = Object(std::get<Ref>(v->v).num);
        return v && std::holds_alternative<Ref>(v->v) ? nullptr : v;
    }
    const Dict* DictOf(const std::shared_ptr<Value>& v) {
        return v && std::holds_alternative<Dict>(v->v) ? &std::get<Dict>(v->v) : nullptr;
    }
    std::shared_ptr<Value> Get(const Dict* dict, const char* key) {
        if (!dict)
            return nullptr;
        const auto it = dict->find(key);
        return it == dict->end() ? nullptr : Resolve(it->second);
    }
    std::string NameOf(const std::shared_ptr<Value>& v) {
        return v && std::holds_alternative<Name>(v->v) ? std::get<Name>(v->v).text : std::string();
    }
    std::optional<qint64> IntOf(const std::shared_ptr<Value>& v) {
        if (!v || !std::holds_alternative<double>(v->v))
            return std::nullopt;
        const double x = std::get<double>(v->v);
        if (x < 0 || x > 4e9 || x != double(qint64(x)))
            return std::nullopt;
        return qint64(x);
    }
    // The stream's raw bytes, bounded by the file.
    std::optional<QByteArray> StreamBytes(const std::shared_ptr<Value>& v) {
        const Dict* dict = DictOf(v);
        if (!dict || v->streamStart < 0)
            return std::nullopt;
        const auto length = IntOf(Get(dict, "Length"));
        if (!length || v->streamStart + *length > d_.size())
            return std::nullopt;
        return d_.mid(v->streamStart, *length);
    }
    std::shared_ptr<Value> Root() {
        // The last /Root named (a trailer or a cross-reference stream; later updates win).
        const qint64 at = d_.lastIndexOf("/Root");
        if (at < 0)
            return nullptr;
        Parser parser(d_, at + 5);
        return Resolve(parser.value());
    }

private:
    // Every "N G obj" of the file; a later one of the same number replaces an earlier one.
    void FindObjects() {
        for (qint64 at = d_.indexOf(" obj"); at >= 0; at = d_.indexOf(" obj", at + 4)) {
            qint64 p = at - 1;
            while (p >= 0 && std::isdigit(uchar(d_[p])))
                --p;
            if (p == at - 1 || p < 1 || d_[p] != ' ')
                continue;
            qint64 q = p - 1;
            while (q >= 0 && std::isdigit(uchar(d_[q])))
                --q;
            if (q == p - 1 || p - q > 10)
                continue;
            bool ok = false;
            const int num = d_.mid(q + 1, p - q - 1).toInt(&ok);
            if (ok && num > 0)
                offsets_[num] = at + 4;
        }
    }

    const QByteArray& d_;
    std::unordered_map<int, qint64> offsets_;
};

std::optional<QByteArray> Inflate(const QByteArray& in, qint64 limit) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return std::nullopt;
    QByteArray out;
    out.resize(qsizetype(std::min<qint64>(limit + 1, qint64(in.size()) * 4 + 1024)));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
    z.avail_in = uInt(in.size());
    int status = Z_OK;
    while (status == Z_OK) {
        if (z.total_out >= uLong(out.size())) {
            if (out.size() > limit)
                break; // more than it may hold
            out.resize(qsizetype(std::min<qint64>(qint64(out.size()) * 2, limit + 1)));
        }
        z.next_out = reinterpret_cast<Bytef*>(out.data()) + z.total_out;
        z.avail_out = uInt(out.size() - qsizetype(z.total_out));
        status = inflate(&z, Z_NO_FLUSH);
    }
    const qint64 made = qint64(z.total_out);
    inflateEnd(&z);
    if (status != Z_STREAM_END || made > limit)
        return std::nullopt;
    out.resize(qsizetype(made));
    return out;
}

// The filter of a stream when it is exactly one that this reader knows (or none).
std::optional<std::string> OnlyFilter(Document& doc, const Dict* dict) {
    const auto filter = doc.Get(dict, "Filter");
    if (!filter)
        return std::string();
    if (std::holds_alternative<Name>(filter->v))
        return std::get<Name>(filter->v).text;
    if (std::holds_alternative<Array>(filter->v) && std::get<Array>(filter->v).size() == 1)
        return doc.NameOf(doc.Resolve(std::get<Array>(filter->v)[0]));
    return std::nullopt;
}

std::optional<QImage> DecodeImage(Document& doc, const std::shared_ptr<Value>& image) {
    const Dict* dict = doc.DictOf(image);
    if (doc.NameOf(doc.Get(dict, "Subtype")) != "Image")
        return std::nullopt;
    for (const char* key : {"SMask", "Mask", "Decode", "ImageMask", "DecodeParms"})
        if (doc.Get(dict, key))
            return std::nullopt;
    const auto w = doc.IntOf(doc.Get(dict, "Width"));
    const auto h = doc.IntOf(doc.Get(dict, "Height"));
    const auto bits = doc.IntOf(doc.Get(dict, "BitsPerComponent"));
    const std::string space = doc.NameOf(doc.Get(dict, "ColorSpace"));
    const int comps = space == "DeviceRGB" ? 3 : space == "DeviceGray" ? 1 : 0;
    if (!w || !h || *w < 1 || *h < 1 || *w > kMaxPictureSide || *h > kMaxPictureSide ||
        *w * *h > kMaxPicturePixels || comps == 0 || bits != 8)
        return std::nullopt;
    const auto filter = OnlyFilter(doc, dict);
    const auto raw = doc.StreamBytes(image);
    if (!filter || !raw)
        return std::nullopt;
    const qint64 size = *w * *h * comps;
    if (*filter == "DCTDecode") {
        QImage jpeg = QImage::fromData(*raw, "JPEG");
        if (jpeg.width() != *w || jpeg.height() != *h)
            return std::nullopt;
        return jpeg.convertToFormat(comps == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    }
    std::optional<QByteArray> pixels;
    if (*filter == "FlateDecode")
        pixels = Inflate(*raw, size);
    else if (filter->empty())
        pixels = *raw;
    if (!pixels || pixels->size() != size)
        return std::nullopt;
    QImage out(int(*w), int(*h), comps == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (out.isNull())
        return std::nullopt;
    const qsizetype row = qsizetype(*w * comps);
    for (int y = 0; y < out.height(); ++y)
        std::memcpy(out.scanLine(y), pixels->constData() + qsizetype(y) * row, std::size_t(row));
    return out;
}

// The page's contents, inflated; nullopt when a part cannot be read.
std::optional<QByteArray> Contents(Document& doc, const Dict* page) {
    const auto contents = doc.Get(page, "Contents");
    Array parts;
    if (contents && std::holds_alternative<Array>(contents->v))
        parts = std::get<Array>(contents->v);
    else if (contents)
        parts.push_back(contents);
    QByteArray all;
    for (const auto& part : parts) {
        const auto stream = doc.Resolve(part);
        const auto filter = OnlyFilter(doc, doc.DictOf(stream));
        const auto raw = doc.StreamBytes(stream);
        if (!filter || !raw)
            return std::nullopt;
        std::optional<QByteArray> data;
        if (*filter == "FlateDecode")
            data = Inflate(*raw, kMaxContent);
        else if (filter->empty())
            data = *raw;
        if (!data)
            return std::nullopt;
        all += *data + '\n';
    }
    return all;
}

// Counts an operator of the content standing alone.
int Count(const QByteArray& content, const QByteArray& op) {
    int n = 0;
    for (qint64 at = content.indexOf(op); at >= 0; at = content.indexOf(op, at + 1)) {
        const bool before = at == 0 || IsWhite(content[at - 1]) || IsDelimiter(content[at - 1]);
        const qint64 end = at + op.size();
        const bool after =
            end >= content.size() || IsWhite(content[end]) || IsDelimiter(content[end]);
        n += before && after ? 1 : 0;
    }
    return n;
}

std::optional<QImage> PagePicture(Document& doc, const Dict* page, const Dict* resources) {
    // Values are parsed afresh on each lookup: the dictionary lives as long as its holder.
    const auto xobjectsValue = doc.Get(resources, "XObject");
    const Dict* xobjects = doc.DictOf(xobjectsValue);
    if (!xobjects || xobjects->size() != 1)
        return std::nullopt;
    const auto content = Contents(doc, page);
    // One picture drawn once; text only when invisible (the recognised words over a scan).
    if (!content || Count(*content, "Do") != 1 ||
        (Count(*content, "BT") > 0 && Count(*content, "Tr") == 0) ||
        Count(*content, "f") + Count(*content, "S") + Count(*content, "B") > 0)
        return std::nullopt;
    return DecodeImage(doc, doc.Resolve(xobjects->begin()->second));
}

} // namespace

std::vector<std::optional<QImage>> PagePictures(const QByteArray& pdf) {
    std::vector<std::optional<QImage>> out;
    try {
        Document doc(pdf);
        const auto root = doc.Root();
        const Dict* catalog = doc.DictOf(root);
        const auto pages = doc.Get(catalog, "Pages");
        if (!pages)
            return {};
        // Depth first, with the resources that pages inherit; a node met twice is a loop.
        struct Node {
            std::shared_ptr<Value> value;
            std::shared_ptr<Value> resources;
            int num = 0; // the object's number; 0 when written in place
        };
        std::vector<Node> stack{{pages, nullptr, 0}};
        QSet<int> seen;
        int visited = 0;
        while (!stack.empty()) {
            Node node = stack.back();
            stack.pop_back();
            if (++visited > kMaxTreeNodes || (node.num > 0 && seen.contains(node.num)))
                return {};
            seen.insert(node.num);
            const Dict* dict = doc.DictOf(node.value);
            if (!dict)
                return {};
            auto resources = doc.Get(dict, "Resources");
            if (!resources)
                resources = node.resources;
            const auto kids = doc.Get(dict, "Kids");
            if (kids && std::holds_alternative<Array>(kids->v)) {
                const Array& list = std::get<Array>(kids->v);
                for (auto it = list.rbegin(); it != list.rend(); ++it) {
                    auto kid = doc.Resolve(*it);
                    if (!kid)
                        return {};
                    const int num =
                        std::holds_alternative<Ref>((*it)->v) ? std::get<Ref>((*it)->v).num : 0;
                    stack.push_back({kid, resources, num});
                }
                continue;
            }
            if (int(out.size()) >= kMaxPages)
                return {};
            out.push_back(PagePicture(doc, dict, doc.DictOf(resources)));
        }
    } catch (const std::bad_alloc&) {
        return {};
    }
    return out;
}

} // namespace velorix::imaging
