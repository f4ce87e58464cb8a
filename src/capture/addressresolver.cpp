#include "addressresolver.h"

#include <curl/curl.h>

#include <utility>

namespace {

bool IsSchemeStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsSchemeCharacter(char c)
{
    return IsSchemeStart(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// The whole address of a handle, or empty.
std::string AddressOf(CURLU *url)
{
    char *text = nullptr;
    if (curl_url_get(url, CURLUPART_URL, &text, 0) != CURLUE_OK || !text)
        return {};
    std::string address(text);
    curl_free(text);
    return address;
}

} // namespace

std::string EscapedAsInAddresses(std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '"' || c == '<' || c == '>' || c == '`') {
            escaped += '%';
            escaped += hex[byte >> 4];
            escaped += hex[byte & 0x0F];
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string SchemeOf(std::string_view reference)
{
    if (reference.empty() || !IsSchemeStart(reference[0]))
        return {};
    for (std::size_t i = 1; i < reference.size(); ++i) {
        const char c = reference[i];
        if (c == ':') {
            std::string scheme(reference.substr(0, i));
            for (char &letter : scheme) {
                if (letter >= 'A' && letter <= 'Z')
                    letter = static_cast<char>(letter - 'A' + 'a');
            }
            return scheme;
        }
        if (!IsSchemeCharacter(c))
            return {};
    }
    return {};
}

std::string TrimmedAddress(std::string_view value)
{
    std::size_t begin = 0;
    std::size_t end = value.size();
    while (begin < end && static_cast<unsigned char>(value[begin]) <= 0x20)
        ++begin;
    while (end > begin && static_cast<unsigned char>(value[end - 1]) <= 0x20)
        --end;
    std::string trimmed;
    trimmed.reserve(end - begin);
    for (std::size_t i = begin; i < end; ++i) {
        if (value[i] != '\t' && value[i] != '\n' && value[i] != '\r')
            trimmed += value[i];
    }
    return trimmed;
}

std::string NormalisedAddress(const std::string &address)
{
    if (address.find('\0') != std::string::npos)
        return {};
    CURLU *url = curl_url();
    if (!url)
        return {};
    std::string normal;
    if (!SchemeOf(address).empty() &&
        curl_url_set(url, CURLUPART_URL, address.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK)
        normal = AddressOf(url);
    curl_url_cleanup(url);
    return normal;
}

BaseAddress::BaseAddress(const std::string &address)
{
    // Taken as it stands: a page address with a space in front names no page.
    const std::string scheme = SchemeOf(address);
    if ((scheme != "http" && scheme != "https" && scheme != "file") || address.find('\0') != std::string::npos)
        return;
    m_url = curl_url();
    if (m_url && curl_url_set(m_url, CURLUPART_URL, address.c_str(), 0) == CURLUE_OK)
        m_text = AddressOf(m_url);
    if (m_text.empty() && m_url) {
        curl_url_cleanup(m_url);
        m_url = nullptr;
    }
}

BaseAddress::~BaseAddress()
{
    if (m_url)
        curl_url_cleanup(m_url);
}

BaseAddress::BaseAddress(BaseAddress &&other) noexcept
    : m_url(std::exchange(other.m_url, nullptr))
    , m_text(std::move(other.m_text))
{
}

BaseAddress &BaseAddress::operator=(BaseAddress &&other) noexcept
{
    if (this != &other) {
        if (m_url)
            curl_url_cleanup(m_url);
        m_url = std::exchange(other.m_url, nullptr);
        m_text = std::move(other.m_text);
    }
    return *this;
}

std::string BaseAddress::resolve(const std::string &reference) const
{
    const std::string trimmed = TrimmedAddress(reference);
    if (trimmed.find('\0') != std::string::npos)
        return {};
    if (!SchemeOf(trimmed).empty())
        return NormalisedAddress(trimmed);
    if (!m_url)
        return {};
    CURLU *url = curl_url_dup(m_url);
    if (!url)
        return {};
    CURLUcode result = CURLUE_OK;
    if (trimmed.empty() || trimmed[0] == '#') {
        // The page itself, with the reference's fragment (libcurl would treat it
        // as a path and lose the page's name).
        const std::string fragment = EscapedAsInAddresses(std::string_view(trimmed).substr(trimmed.empty() ? 0 : 1));
        result = curl_url_set(url, CURLUPART_FRAGMENT, trimmed.empty() ? nullptr : fragment.c_str(), 0);
    } else {
        result = curl_url_set(url, CURLUPART_URL, trimmed.c_str(), CURLU_NON_SUPPORT_SCHEME);
    }
    std::string resolved = result == CURLUE_OK ? AddressOf(url) : std::string();
    curl_url_cleanup(url);
    // libcurl takes "2x://…" for an absolute address; by RFC 3986 it is none.
    return SchemeOf(resolved).empty() ? std::string() : resolved;
}
