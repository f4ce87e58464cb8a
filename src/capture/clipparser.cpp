#include "clipparser.h"

#include "capturetext.h"
#include "htmltext.h"

namespace {

// The first position of the upper-case marker anywhere, else of the lower-case one.
std::size_t PosEither(std::string_view upper, std::string_view lower, std::string_view text)
{
    const std::size_t found = Pos(upper, text);
    return found > 0 ? found : Pos(lower, text);
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

std::string SourceAddressOf(const std::string &clipText)
{
    const auto sourceStart = static_cast<long long>(Pos("SourceURL:", clipText));
    const auto headerEnd = static_cast<long long>(Pos("\r\n<", clipText));
    if (sourceStart > 0 && headerEnd > 0 && sourceStart < headerEnd)
        return Copy(clipText, sourceStart + 10, headerEnd - sourceStart - 10);
    return {};
}

ClipParts ParseClip(const std::string &clipText, const CaptureContext &context)
{
    ClipParts parts;
    parts.sourceAddress = SourceAddressOf(clipText);

    // The whole body element, closing tag included; a missing tag gives the
    // clamped piece the arithmetic leaves.
    const auto bodyEnd = static_cast<long long>(PosEither("</BODY>", "</body>", clipText));
    const auto bodyStart = static_cast<long long>(PosEither("<BODY", "<body", clipText));
    const std::string fragment = Copy(clipText, bodyStart, bodyEnd - bodyStart + 7);
    // Relative addresses resolve against the page, or against its <base href>.
    parts.body = LocaliseFragment(fragment, PageAddressOf(parts.sourceAddress, clipText), context);

    // Only the bare tags count: a title tag with attributes is not recognised.
    const auto titleEnd = static_cast<long long>(PosEither("</TITLE>", "</title>", clipText));
    const auto titleStart = static_cast<long long>(PosEither("<TITLE>", "<title>", clipText));
    if (titleStart > 0 && titleEnd > 0)
        parts.title = CleanTitle(Copy(clipText, titleStart + 7, titleEnd - titleStart - 7));
    return parts;
}
