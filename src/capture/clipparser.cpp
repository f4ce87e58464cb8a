#include "clipparser.h"

#include "capturetext.h"

namespace {

// The first position of the upper-case marker anywhere, else of the lower-case one.
std::size_t PosEither(std::string_view upper, std::string_view lower, std::string_view text)
{
    const std::size_t found = Pos(upper, text);
    return found > 0 ? found : Pos(lower, text);
}

// Up to, not including, the first "/" at position from or later.
std::string HostBase(const std::string &address, std::size_t from)
{
    const std::size_t slash = Pos("/", address, from);
    return slash > 0 ? Copy(address, 1, static_cast<long long>(slash) - 1) : std::string();
}

// Up to and including the last of separators at position from or later.
std::string FolderBase(const std::string &address, std::size_t from, const char *separators)
{
    const std::size_t last = address.find_last_of(separators);
    if (last == std::string::npos || last + 1 < from)
        return {};
    return address.substr(0, last + 1);
}

} // namespace

std::string PrepareClipText(std::string_view bytes)
{
    const std::string_view text = bytes.substr(0, bytes.find('\0'));
    std::string prepared;
    prepared.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0') {
            prepared += ' ';
            ++i;
        } else {
            prepared += text[i];
        }
    }
    return prepared;
}

AddressBases AddressBasesOf(const std::string &sourceAddress)
{
    if (StartsWith(sourceAddress, "http://"))
        return {HostBase(sourceAddress, 8), FolderBase(sourceAddress, 8, "/")};
    if (StartsWith(sourceAddress, "https://"))
        return {HostBase(sourceAddress, 9), FolderBase(sourceAddress, 9, "/")};
    if (StartsWith(sourceAddress, "file:///"))
        return {HostBase(sourceAddress, 9), FolderBase(sourceAddress, 9, "/\\")};
    return {};
}

ClipParts ParseClip(const std::string &clipText, const CaptureContext &context)
{
    ClipParts parts;

    const auto sourceStart = static_cast<long long>(Pos("SourceURL:", clipText));
    const auto headerEnd = static_cast<long long>(Pos("\r\n<", clipText));
    if (sourceStart > 0 && headerEnd > 0 && sourceStart < headerEnd)
        parts.sourceAddress = Copy(clipText, sourceStart + 10, headerEnd - sourceStart - 10);
    const AddressBases bases = AddressBasesOf(parts.sourceAddress);

    // The whole body element, closing tag included; a missing tag gives the
    // clamped piece the arithmetic leaves.
    const auto bodyEnd = static_cast<long long>(PosEither("</BODY>", "</body>", clipText));
    const auto bodyStart = static_cast<long long>(PosEither("<BODY", "<body", clipText));
    const std::string fragment = Copy(clipText, bodyStart, bodyEnd - bodyStart + 7);
    parts.body = LocaliseFragment(fragment, bases.host, bases.folder, context);

    // Only the bare tags count: a title tag with attributes is not recognised.
    const auto titleEnd = static_cast<long long>(PosEither("</TITLE>", "</title>", clipText));
    const auto titleStart = static_cast<long long>(PosEither("<TITLE>", "<title>", clipText));
    if (titleStart > 0 && titleEnd > 0)
        parts.title = Copy(clipText, titleStart + 7, titleEnd - titleStart - 7);
    return parts;
}
