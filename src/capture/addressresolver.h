#pragma once

#include <string>
#include <string_view>

typedef struct Curl_URL CURLU;

// Addresses of a page resolved as a browser resolves them (RFC 3986), by
// libcurl's URL API.

// The scheme a reference names ("http", "mailto", "javascript"…), in lower case,
// or empty for a relative reference.
std::string SchemeOf(std::string_view reference);

// An attribute's address as a browser takes it: leading and trailing spaces and
// control characters dropped, tabs and line breaks inside removed.
std::string TrimmedAddress(std::string_view value);

// Bytes a browser escapes before they become part of an address (spaces and
// other controls, quotes, angle brackets, backquotes and every non-ASCII byte)
// as %XX; everything else as it stands.
std::string EscapedAsInAddresses(std::string_view text);

// An absolute address in libcurl's normal form (scheme in lower case, dot
// segments removed, spaces escaped), or empty when it is none.
std::string NormalisedAddress(const std::string &address);

// A page address parsed once, against which the references of the page are
// resolved. Only http, https and file pages serve as a base.
class BaseAddress
{
public:
    BaseAddress() = default;
    explicit BaseAddress(const std::string &address);
    ~BaseAddress();
    BaseAddress(BaseAddress &&other) noexcept;
    BaseAddress &operator=(BaseAddress &&other) noexcept;
    BaseAddress(const BaseAddress &) = delete;
    BaseAddress &operator=(const BaseAddress &) = delete;

    bool usable() const { return m_url != nullptr; }
    // The base itself in normal form, or empty.
    const std::string &text() const { return m_text; }

    // The absolute address of a reference, or empty when it cannot be resolved
    // (no usable base for a relative one, or a malformed address). A reference
    // with a scheme of its own comes back in normal form.
    std::string resolve(const std::string &reference) const;

private:
    CURLU *m_url = nullptr;
    std::string m_text;
};
