#pragma once

#include <string>

// Prints the problem and the usage lines to standard error; returns the usage exit status.
int UsageError(const std::string& problem);
