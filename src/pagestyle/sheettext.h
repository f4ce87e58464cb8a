#pragma once

#include <functional>
#include <string>

class BaseAddress;

// Style sheet text moved out of its file: an @import is replaced by the sheet
// it names, and every url() made absolute, so that the rules read the same
// inside a <style> element of another document.

// Reads the sheet at an absolute address; empty when it cannot be read.
using SheetReader = std::function<std::string(const std::string &address)>;

// The sheet with each url() and @import address resolved against base (the
// sheet's own address) and written as url("absolute"). Imports are read with
// read and put in place of their rule, wrapped in @media when the rule names
// media, up to depth levels deep; deeper or unreadable ones are dropped.
// data: addresses stay as they are. Comments and strings are skipped over.
std::string SelfContainedSheet(const std::string &sheet, const BaseAddress &base, const SheetReader &read,
                               int depth = 3);
