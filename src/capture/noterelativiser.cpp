#include "noterelativiser.h"

#include "capturetext.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include <unistd.h>

namespace {

std::string PercentEscaped(const std::string &path)
{
    static const char hex[] = "0123456789ABCDEF";
    static const std::string_view plain = "-._~!$&'()*+,;=:@/";
    std::string escaped;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool alphanumeric = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (alphanumeric || plain.find(c) != std::string_view::npos) {
            escaped += c;
        } else {
            escaped += '%';
            escaped += hex[byte >> 4];
            escaped += hex[byte & 0x0F];
        }
    }
    return escaped;
}

// Replaces every occurrence of pattern, compared without regard to A-Z case.
std::string ReplaceIgnoringCase(const std::string &text, const std::string &pattern, std::string_view replacement)
{
    const std::string lowerText = LowerAscii(text);
    const std::string lowerPattern = LowerAscii(pattern);
    std::string result;
    result.reserve(text.size());
    std::size_t copied = 0;
    for (std::size_t found = lowerText.find(lowerPattern); found != std::string::npos;
         found = lowerText.find(lowerPattern, copied)) {
        result.append(text, copied, found - copied);
        result += replacement;
        copied = found + pattern.size();
    }
    result.append(text, copied, std::string::npos);
    return result;
}

} // namespace

std::string RelativiseNoteText(const std::string &text, const std::string &noteFolder)
{
    if (noteFolder.empty())
        return text;
    // An absolute path begins with the slash that makes the third one of "file:///".
    const std::string folder = StartsWith(noteFolder, "/") ? noteFolder : "/" + noteFolder;
    std::string result = ReplaceIgnoringCase(text, "file://" + folder, "./");
    const std::string escaped = PercentEscaped(folder);
    if (escaped != folder)
        result = ReplaceIgnoringCase(result, "file://" + escaped, "./");
    return result;
}

bool RelativiseNoteFile(const std::string &noteFilePath)
{
    const std::size_t separator = noteFilePath.find_last_of("/\\");
    if (separator == std::string::npos)
        return false;
    std::string folder = noteFilePath.substr(0, separator + 1);
    for (char &c : folder) {
        if (c == '\\')
            c = '/';
    }

    std::string text;
    {
        std::ifstream in(noteFilePath, std::ios::binary);
        if (!in)
            return false;
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad())
            return false;
    }
    text.erase(std::min(text.find('\0'), text.size()));

    const std::string relative = RelativiseNoteText(text, folder);
    if (relative == text)
        return true;
    // Written beside the note and renamed over it, so that a crash or a full disk
    // never leaves a cut-off note.
    const std::string temporary = noteFilePath + ".saving";
    std::FILE *out = std::fopen(temporary.c_str(), "wb");
    if (!out)
        return false;
    const bool written = std::fwrite(relative.data(), 1, relative.size(), out) == relative.size() &&
                         std::fflush(out) == 0 && ::fsync(::fileno(out)) == 0;
    if (std::fclose(out) != 0 || !written) {
        std::remove(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), noteFilePath.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
