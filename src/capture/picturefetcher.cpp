#include "picturefetcher.h"

#include "addressresolver.h"
#include "pictureaddress.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// What Firefox asks for when it loads a picture.
constexpr const char PictureAccept[] = "Accept: image/avif,image/webp,image/png,image/svg+xml,image/*;q=0.8,*/*;q=0.5";

void InitialiseCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct FileCloser
{
    void operator()(FILE *file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Closes a file descriptor when it goes out of scope.
class Descriptor
{
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {
    }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }
    // Closes now; answers whether the close succeeded (the last write error shows here).
    bool close() { return ::close(std::exchange(m_fd, -1)) == 0; }

private:
    int m_fd;
};

bool WriteAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Copies only regular files, so a device or a pipe cannot stall the capture; the
// copy is never readable by more people than the original.
bool CopyLocalFile(const std::string &source, const std::string &target, long long maxBytes)
{
    // Not blocking: opening a pipe or a device must not wait for a writer.
    Descriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat original
    {
    };
    if (in.get() < 0 || ::fstat(in.get(), &original) != 0 || !S_ISREG(original.st_mode) || original.st_size > maxBytes)
        return false;
    Descriptor out(::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY));
    struct stat made
    {
    };
    if (out.get() < 0 || ::fstat(out.get(), &made) != 0 ||
        ::fchmod(out.get(), made.st_mode & original.st_mode & 0666) != 0)
        return false;
    char buffer[64 * 1024];
    long long copied = 0;
    for (;;) {
        const ssize_t read = ::read(in.get(), buffer, sizeof buffer);
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0)
            return false;
        if (read == 0)
            break;
        copied += read;
        if (copied > maxBytes || !WriteAll(out.get(), buffer, static_cast<std::size_t>(read)))
            return false;
    }
    return out.close();
}

struct Transfer
{
    std::size_t job = 0;
    CURL *easy = nullptr;
    FilePtr file;
    long long received = 0;
    long long maxBytes = 0;
    curl_slist *headers = nullptr;

    ~Transfer()
    {
        if (easy)
            curl_easy_cleanup(easy);
        curl_slist_free_all(headers);
    }
};

std::size_t WriteToFile(char *data, std::size_t size, std::size_t count, void *user)
{
    auto *transfer = static_cast<Transfer *>(user);
    const std::size_t bytes = size * count;
    // Returning less than was given makes curl abort the transfer.
    if (transfer->received + static_cast<long long>(bytes) > transfer->maxBytes)
        return 0;
    if (std::fwrite(data, 1, bytes, transfer->file.get()) != bytes)
        return 0;
    transfer->received += static_cast<long long>(bytes);
    return bytes;
}

std::unique_ptr<Transfer> StartTransfer(std::size_t job, const PictureJob &picture, const AddressParts &parts,
                                        const FetchOptions &options)
{
    auto transfer = std::make_unique<Transfer>();
    transfer->job = job;
    transfer->maxBytes = options.maxBytes;
    transfer->file.reset(std::fopen(picture.localPath.c_str(), "wb"));
    transfer->easy = curl_easy_init();
    if (!transfer->file || !transfer->easy)
        return nullptr;

    CURL *easy = transfer->easy;
    const std::string url = RequestAddress(parts);
    bool ok = curl_easy_setopt(easy, CURLOPT_URL, url.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, options.maxRedirects);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, options.connectTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, options.totalTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBytes));
    curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, BrowserUserAgent());
    if (!options.referer.empty())
        curl_easy_setopt(easy, CURLOPT_REFERER, options.referer.c_str());
    transfer->headers = curl_slist_append(nullptr, PictureAccept);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &WriteToFile);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
    return ok ? std::move(transfer) : nullptr;
}

bool TransferSucceeded(Transfer &transfer, CURLcode result)
{
    long status = 0;
    curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
    const bool closed = std::fclose(transfer.file.release()) == 0;
    return result == CURLE_OK && status >= 200 && status <= 299 && closed;
}

// The extension the response's Content-Type gives a picture whose name has none.
std::string ExtensionOfResponse(Transfer &transfer)
{
    const char *type = nullptr;
    if (curl_easy_getinfo(transfer.easy, CURLINFO_CONTENT_TYPE, &type) != CURLE_OK || !type)
        return {};
    return ExtensionOfType(type);
}

} // namespace

const char *BrowserUserAgent()
{
    return "Mozilla/5.0 (X11; Linux x86_64; rv:140.0) Gecko/20100101 Firefox/140.0";
}

std::string RefererOf(const std::string &pageAddress)
{
    const std::string scheme = SchemeOf(pageAddress);
    if ((scheme != "http" && scheme != "https") || pageAddress.find('\0') != std::string::npos)
        return {};
    CURLU *url = curl_url();
    if (!url)
        return {};
    std::string referer;
    if (curl_url_set(url, CURLUPART_URL, pageAddress.c_str(), 0) == CURLUE_OK &&
        curl_url_set(url, CURLUPART_FRAGMENT, nullptr, 0) == CURLUE_OK &&
        curl_url_set(url, CURLUPART_USER, nullptr, 0) == CURLUE_OK &&
        curl_url_set(url, CURLUPART_PASSWORD, nullptr, 0) == CURLUE_OK) {
        char *text = nullptr;
        if (curl_url_get(url, CURLUPART_URL, &text, 0) == CURLUE_OK && text)
            referer = text;
        curl_free(text);
    }
    curl_url_cleanup(url);
    return referer;
}

FetchOptions WithDeadline(FetchOptions options)
{
    if (options.deadline == std::chrono::steady_clock::time_point::max() && options.captureTimeoutMs > 0)
        options.deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.captureTimeoutMs);
    return options;
}

bool CaptureEnded(const FetchOptions &options)
{
    return (options.cancelled && options.cancelled()) || std::chrono::steady_clock::now() >= options.deadline;
}

void FetchPictures(std::vector<PictureJob> &jobs, const FetchOptions &givenOptions, const JobFinished &finished)
{
    InitialiseCurlOnce();
    const FetchOptions options = WithDeadline(givenOptions);
    const std::size_t limit = options.maxParallel < 1 ? 1 : static_cast<std::size_t>(options.maxParallel);

    auto finish = [&](std::size_t job, bool stored) {
        jobs[job].stored = stored;
        // A failed picture leaves nothing behind: no partial file, no error page.
        if (!stored && !jobs[job].localPath.empty())
            std::remove(jobs[job].localPath.c_str());
        if (finished)
            finished(job);
    };

    std::mt19937 random(std::random_device{}());
    CURLM *multi = curl_multi_init();
    std::vector<std::unique_ptr<Transfer>> running;
    std::size_t next = 0;
    while (next < jobs.size() || !running.empty()) {
        if (CaptureEnded(options)) {
            // Whatever has not arrived fails now; the capture goes on without it.
            for (std::unique_ptr<Transfer> &transfer : running) {
                const std::size_t job = transfer->job;
                curl_multi_remove_handle(multi, transfer->easy);
                transfer.reset(); // closes the file before it is removed
                finish(job, false);
            }
            running.clear();
            while (next < jobs.size())
                finish(next++, false);
            break;
        }
        while (next < jobs.size() && running.size() < limit) {
            const std::size_t job = next++;
            if (jobs[job].localPath.empty()) {
                finish(job, false);
                continue;
            }
            const AddressParts parts = SplitAddress(jobs[job].address);
            if (parts.kind == FileAddress || !IsFetchable(parts)) {
                finish(job, IsFetchable(parts) && CopyLocalFile(parts.path, jobs[job].localPath, options.maxBytes));
                continue;
            }
            std::unique_ptr<Transfer> transfer = StartTransfer(job, jobs[job], parts, options);
            if (!transfer || !multi || curl_multi_add_handle(multi, transfer->easy) != CURLM_OK) {
                transfer.reset();
                finish(job, false);
                continue;
            }
            running.push_back(std::move(transfer));
        }
        if (running.empty())
            continue;

        int active = 0;
        curl_multi_perform(multi, &active);
        int queued = 0;
        while (CURLMsg *message = curl_multi_info_read(multi, &queued)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            CURL *easy = message->easy_handle;
            const CURLcode result = message->data.result;
            for (auto it = running.begin(); it != running.end(); ++it) {
                if ((*it)->easy != easy)
                    continue;
                curl_multi_remove_handle(multi, easy);
                const bool stored = TransferSucceeded(**it, result);
                const std::size_t job = (*it)->job;
                if (stored && jobs[job].extensionFromType)
                    jobs[job].localPath = MovedToExtension(jobs[job].localPath, ExtensionOfResponse(**it), random);
                running.erase(it);
                finish(job, stored);
                break;
            }
        }
        if (!running.empty()) {
            // Short waits, so that a cancel or the deadline is seen at once.
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(options.deadline -
                                                                                    std::chrono::steady_clock::now());
            curl_multi_poll(multi, nullptr, 0, static_cast<int>(std::clamp<long long>(left.count(), 0, 100)), nullptr);
        }
    }
    if (multi)
        curl_multi_cleanup(multi);
}

std::string FetchPicture(const std::string &address, const std::string &dayFolder, const FetchOptions &options)
{
    std::vector<PictureJob> jobs(1);
    jobs[0].address = address;
    const AddressParts parts = SplitAddress(address);
    if (IsFetchable(parts) && !dayFolder.empty()) {
        std::mt19937 random(std::random_device{}());
        const PictureName name = LocalPictureName(parts);
        jobs[0].localPath = ReservePictureFile(ImagesFolderOf(dayFolder), name, random);
        jobs[0].extensionFromType = name.extension.empty();
    }
    FetchPictures(jobs, options);
    return jobs[0].stored ? jobs[0].localPath : std::string();
}
