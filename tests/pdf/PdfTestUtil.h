// Helpers for the PDF writer tests: a fixed clock, Flate inflation, structural checks of a
// written file and the independent checkers (qpdf, pdftoppm).
#pragma once

#include "pdf/PdfDoc.h"

#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace pdftest {

// 19 October 2016 18:10:38, the moment every test document is made at.
std::tm FixedTime();
TPdfClock FixedClock();

// The message of the exception action throws, or "<no exception>".
std::string Message(const std::function<void()>& action);

// The bytes of an object: its body when indirect, what WriteTo writes otherwise.
std::string Written(TPdfObject& object);

std::string Inflate(std::string_view compressed);

// The file with every stream's data inflated and the values that depend on the compressor's
// output ("/Length" of Flate streams, the offsets of the table and after "startxref") masked,
// so that it can be compared with a golden file.
std::string Normalise(const std::string& pdf);

// Indirect objects of a file: number -> bytes between "N 0 obj\r\n" and "\r\nendobj".
std::map<int, std::string> Objects(const std::string& pdf);
// Inflated data of the stream object number.
std::string StreamData(const std::string& pdf, int number);

// Checks with gtest assertions that every in-use table entry points at "N 0 obj", that every
// table line is 20 bytes, that "startxref" points at the "x" of "xref" and that "/Size" is the
// number of table lines.
void ExpectSoundXref(const std::string& pdf);

// A path in a fresh temporary folder of this test run.
std::string TempPath(const std::string& name);
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

// Runs "qpdf --check" on the file; returns its exit status, its output in *output.
int QpdfCheck(const std::string& path, std::string* output = nullptr);

// Saves doc, checks the table, writes the file and runs qpdf on it; returns the bytes.
std::string SaveChecked(TPdfDoc& doc, const std::string& fileName);

} // namespace pdftest
