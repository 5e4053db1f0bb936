#include "tests/pdf/PdfTestUtil.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <unistd.h>

namespace pdftest {

std::tm FixedTime() {
    std::tm t{};
    t.tm_year = 2016 - 1900;
    t.tm_mon = 9;
    t.tm_mday = 19;
    t.tm_hour = 18;
    t.tm_min = 10;
    t.tm_sec = 38;
    return t;
}

TPdfClock FixedClock() {
    return [] { return FixedTime(); };
}

std::string Message(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "<no exception>";
}

std::string Written(TPdfObject& object) {
    TPdfStringStream out;
    if (object.ObjectType() == otIndirect) {
        object.WriteBody(out);
    } else {
        object.WriteTo(out);
    }
    return out.Bytes();
}

std::string Inflate(std::string_view compressed) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        return "<inflateInit failed>";
    }
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    z.avail_in = static_cast<uInt>(compressed.size());
    std::string out;
    std::array<char, 65536> buffer{};
    int rc = Z_OK;
    do {
        z.next_out = reinterpret_cast<Bytef*>(buffer.data());
        z.avail_out = static_cast<uInt>(buffer.size());
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buffer.data(), buffer.size() - z.avail_out);
    } while (rc == Z_OK);
    const bool complete = rc == Z_STREAM_END && z.avail_in == 0;
    inflateEnd(&z);
    return complete ? out : "<bad zlib data>";
}

namespace {

struct StreamSpan {
    std::size_t dictStart; // start of the object body
    std::size_t dataStart;
    std::size_t dataLength;
    bool flate;
};

// Finds the stream of the object whose body starts at bodyStart, if it has one.
bool FindStream(const std::string& pdf, std::size_t bodyStart, std::size_t bodyEnd,
                StreamSpan* span) {
    const std::size_t marker = pdf.find(">>\r\nstream\r\n", bodyStart);
    if (marker == std::string::npos || marker >= bodyEnd) {
        return false;
    }
    const std::string dict = pdf.substr(bodyStart, marker - bodyStart);
    std::smatch m;
    if (!std::regex_search(dict, m, std::regex("/Length (\\d+)\r\n"))) {
        return false;
    }
    span->dictStart = bodyStart;
    span->dataStart = marker + std::string(">>\r\nstream\r\n").size();
    span->dataLength = std::stoul(m[1]);
    span->flate = dict.find("/Filter [/FlateDecode ]") != std::string::npos;
    return true;
}

struct ObjectSpan {
    int number;
    std::size_t bodyStart;
    std::size_t bodyEnd;
};

std::vector<ObjectSpan> ObjectSpans(const std::string& pdf) {
    std::vector<ObjectSpan> spans;
    std::size_t pos = 0;
    static const std::regex header("(\\d+) 0 obj\r\n");
    while (pos < pdf.size()) {
        // Objects begin at the start of a line; the previous one ends with "endobj\r\n".
        std::size_t lineEnd = pdf.find("\r\n", pos);
        if (lineEnd == std::string::npos) {
            break;
        }
        std::string line = pdf.substr(pos, lineEnd + 2 - pos);
        std::smatch m;
        if (std::regex_match(line, m, header)) {
            ObjectSpan span{std::stoi(m[1]), lineEnd + 2, 0};
            // Skip a stream's data as a whole: it may hold anything.
            std::size_t searchFrom = span.bodyStart;
            StreamSpan stream{};
            std::size_t nextEnd = pdf.find("\r\nendobj\r\n", span.bodyStart);
            if (FindStream(pdf, span.bodyStart, nextEnd == std::string::npos ? pdf.size() : nextEnd,
                           &stream)) {
                searchFrom = stream.dataStart + stream.dataLength;
            }
            span.bodyEnd = pdf.find("\r\nendobj\r\n", searchFrom);
            if (span.bodyEnd == std::string::npos) {
                break;
            }
            spans.push_back(span);
            pos = span.bodyEnd + std::string("\r\nendobj\r\n").size();
        } else {
            pos = lineEnd + 2;
        }
    }
    return spans;
}

} // namespace

std::map<int, std::string> Objects(const std::string& pdf) {
    std::map<int, std::string> objects;
    for (const ObjectSpan& span : ObjectSpans(pdf)) {
        objects[span.number] = pdf.substr(span.bodyStart, span.bodyEnd - span.bodyStart);
    }
    return objects;
}

std::string StreamData(const std::string& pdf, int number) {
    for (const ObjectSpan& span : ObjectSpans(pdf)) {
        StreamSpan stream{};
        if (span.number == number && FindStream(pdf, span.bodyStart, span.bodyEnd, &stream)) {
            std::string data = pdf.substr(stream.dataStart, stream.dataLength);
            return stream.flate ? Inflate(data) : data;
        }
    }
    return "<no stream>";
}

std::string Normalise(const std::string& pdf) {
    std::string out;
    std::size_t copied = 0;
    for (const ObjectSpan& span : ObjectSpans(pdf)) {
        StreamSpan stream{};
        if (!FindStream(pdf, span.bodyStart, span.bodyEnd, &stream)) {
            continue;
        }
        std::string dict = pdf.substr(span.bodyStart, stream.dataStart - span.bodyStart);
        std::string data = pdf.substr(stream.dataStart, stream.dataLength);
        if (stream.flate) {
            dict = std::regex_replace(dict, std::regex("/Length \\d+\r\n"), "/Length #\r\n");
            data = Inflate(data);
        }
        out += pdf.substr(copied, span.bodyStart - copied);
        out += dict;
        out += data;
        copied = stream.dataStart + stream.dataLength;
    }
    out += pdf.substr(copied);
    out = std::regex_replace(out, std::regex("\\d{10} 00000 n\r\n"), "########## 00000 n\r\n");
    out = std::regex_replace(out, std::regex("startxref\r\n\\d+\r\n"), "startxref\r\n#\r\n");
    return out;
}

void ExpectSoundXref(const std::string& pdf) {
    const std::size_t startxref = pdf.rfind("startxref\r\n");
    ASSERT_NE(startxref, std::string::npos);
    const std::size_t offsetEnd = pdf.find("\r\n", startxref + 11);
    const long long xrefOffset = std::stoll(pdf.substr(startxref + 11, offsetEnd - startxref - 11));
    ASSERT_GE(xrefOffset, 0);
    ASSERT_LT(static_cast<std::size_t>(xrefOffset), pdf.size());
    ASSERT_EQ(pdf.compare(static_cast<std::size_t>(xrefOffset), 6, "xref\r\n"), 0)
        << "startxref does not point at the table";
    EXPECT_EQ(pdf.compare(offsetEnd, std::string::npos, "\r\n%%EOF\r\n"), 0);

    std::size_t pos = static_cast<std::size_t>(xrefOffset) + 6;
    const std::size_t lineEnd = pdf.find("\r\n", pos);
    const std::string subsection = pdf.substr(pos, lineEnd - pos);
    ASSERT_EQ(subsection.rfind("0 ", 0), 0u) << subsection;
    const int count = std::stoi(subsection.substr(2));
    pos = lineEnd + 2;

    static const std::regex line("(\\d{10}) (\\d{5}) ([nf])\r\n");
    for (int i = 0; i < count; ++i, pos += 20) {
        const std::string entry = pdf.substr(pos, 20);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(entry, m, line)) << "entry " << i << ": " << entry;
        if (i == 0) {
            EXPECT_EQ(entry, "0000000000 65535 f\r\n");
            continue;
        }
        EXPECT_EQ(m[3], "n");
        const std::size_t offset = std::stoull(m[1]);
        const std::string expected = std::to_string(i) + " 0 obj\r\n";
        ASSERT_LT(offset, pdf.size());
        EXPECT_EQ(pdf.compare(offset, expected.size(), expected), 0)
            << "entry " << i << " points at: " << pdf.substr(offset, 12);
    }
    EXPECT_EQ(pdf.compare(pos, 9, "trailer\r\n"), 0);
    const std::string trailer = pdf.substr(pos);
    EXPECT_NE(trailer.find("/Size " + std::to_string(count) + "\r\n"), std::string::npos);
}

namespace {

// Kept on the heap so that it outlives the exit handler that removes the folder.
const std::filesystem::path* gTempDir = nullptr;

void RemoveTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(*gTempDir, ignored);
}

} // namespace

std::string TempPath(const std::string& name) {
    if (gTempDir == nullptr) {
        gTempDir = new std::filesystem::path(std::filesystem::temp_directory_path() /
                                             ("velorix-pdf-tests-" + std::to_string(::getpid())));
        std::filesystem::create_directories(*gTempDir);
        // Left for inspection when VELORIX_KEEP_TEST_FILES is set, removed otherwise.
        if (std::getenv("VELORIX_KEEP_TEST_FILES") == nullptr) {
            std::atexit(RemoveTempDir);
        }
    }
    return (*gTempDir / name).string();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

int QpdfCheck(const std::string& path, std::string* output) {
    const std::string command = "qpdf --check '" + path + "' 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    std::string text;
    std::array<char, 4096> buffer{};
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
        text.append(buffer.data(), n);
    }
    const int status = ::pclose(pipe);
    if (output != nullptr) {
        *output = text;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string SaveChecked(TPdfDoc& doc, const std::string& fileName) {
    TPdfStringStream out;
    doc.SaveToStream(out);
    std::string pdf = out.TakeBytes();
    ExpectSoundXref(pdf);
    const std::string path = TempPath(fileName);
    WriteFile(path, pdf);
    std::string report;
    EXPECT_EQ(QpdfCheck(path, &report), 0) << fileName << ":\n" << report;
    return pdf;
}

} // namespace pdftest
