#include "pagefetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>

namespace {

// Bytes of the answer so far, cut off (and the transfer aborted) past the limit.
struct Received
{
    std::string body;
    long long maxBytes = 0;
};

std::size_t Append(char *data, std::size_t size, std::size_t count, void *user)
{
    auto *received = static_cast<Received *>(user);
    const std::size_t bytes = size * count;
    if (static_cast<long long>(received->body.size() + bytes) > received->maxBytes)
        return 0;
    received->body.append(data, bytes);
    return bytes;
}

// Calls curl back while the transfer runs: a non-zero answer aborts it.
int Progress(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return CaptureEnded(*static_cast<const FetchOptions *>(user)) ? 1 : 0;
}

} // namespace

FetchedText FetchText(const std::string &address, const std::string &referer, const FetchOptions &givenOptions)
{
    FetchedText fetched;
    const FetchOptions options = WithDeadline(givenOptions);
    if (CaptureEnded(options))
        return fetched;
    const auto remaining =
        options.deadline == std::chrono::steady_clock::time_point::max()
            ? options.totalTimeoutMs
            : std::max<long>(1, static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                      options.deadline - std::chrono::steady_clock::now())
                                                      .count()));
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), &curl_easy_cleanup);
    if (!easy)
        return fetched;
    Received received;
    received.maxBytes = options.maxBytes;
    CURL *handle = easy.get();
    if (curl_easy_setopt(handle, CURLOPT_URL, address.c_str()) != CURLE_OK ||
        curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https") != CURLE_OK ||
        curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") != CURLE_OK)
        return fetched;
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, options.maxRedirects);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, options.connectTimeoutMs);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, std::min<long>(options.totalTimeoutMs, remaining));
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBytes));
    curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, ""); // whatever curl can decode
    curl_easy_setopt(handle, CURLOPT_USERAGENT, BrowserUserAgent());
    if (!referer.empty())
        curl_easy_setopt(handle, CURLOPT_REFERER, referer.c_str());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Append);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &received);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &Progress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &options);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    const CURLcode result = curl_easy_perform(handle);
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (result != CURLE_OK || status < 200 || status > 299)
        return fetched;
    char *effective = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
        fetched.address = effective;
    else
        fetched.address = address;
    char *type = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type)
        fetched.contentType = type;
    fetched.body = std::move(received.body);
    fetched.ok = true;
    return fetched;
}
