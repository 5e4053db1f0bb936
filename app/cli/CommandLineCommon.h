#pragma once
// What the command-line commands share: the services of a run that shows nothing, their error
// line on standard error, and the guard that turns a failure into exit code 1.
#include "app/platform/Services.h"

#include <QString>

#include <functional>
#include <memory>

namespace velorix {

// No settings store, no shell, no printer, the real clock; the scanner is left to the caller.
Services CommandLineServices(std::shared_ptr<Prompts> prompts);

// "velorix <command> : <message>" on standard error.
void PrintCommandError(const char* command, const QString& message);

// Runs the command's work and returns its exit code; an exception is printed as the command's
// error and gives 1.
int RunCommand(const char* command, const std::function<int()>& work);

} // namespace velorix
