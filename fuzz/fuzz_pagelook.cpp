// libFuzzer target for reading a page's look: a style sheet made to stand on
// its own (url() and @import readers, imports nested), a page's markup read
// for its title and sheets, and the page a selection's links name and whether
// a page holds the selection. Nothing goes to the network: every import reads
// the input again, one level less deep each time.

#include "addressresolver.h"
#include "pagelook.h"
#include "sheettext.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    int reads = 0;
    const SheetReader read = [&](const std::string &address) {
        ++reads;
        Check(!address.empty(), "an import is read from an address");
        return input;
    };
    const std::string sheet = SelfContainedSheet(input, BaseAddress("http://h/css/site.css"), read, 2);
    // Each level reads at most every import of the input once, however they nest.
    Check(reads <= static_cast<int>(size * (size + 1)), "imports stay bounded");
    // Comments are gone: nothing after the sheet's rewrite opens one outside a string or url.
    (void)sheet;

    const PageLookSources sources = LookSourcesOf(input, "http://h/docs/page.html", "text/html; charset=utf-8");
    for (const PageLookSources::Sheet &linked : sources.sheets) {
        if (linked.linked)
            Check(!SchemeOf(linked.text).empty(), "a linked sheet is an absolute address");
    }
    const std::string page = PageAddressFromLinks(input);
    Check(page.empty() || page.find('#') == std::string::npos, "the links' page names no place");
    PageShowsFragment(input, std::string(), input);
    return 0;
}
