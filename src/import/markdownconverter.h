#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Markdown pages of a notes folder (CommonMark with tables, strikethrough,
// task lists and autolinks) turned into the body of a note file. Raw HTML is
// left out and dangerous addresses (javascript: and the like) lose their
// address, so the result is safe to show. Plain C++ on UTF-8 text.

// The YAML block at the top of a page ("---" … "---"), of which the title,
// the creation time and the tags are used.
struct MarkdownFrontMatter
{
    std::string title;
    std::string created; // as written
    std::vector<std::string> tags;
};

struct MarkdownPage
{
    MarkdownFrontMatter frontMatter;
    std::string_view body; // the page without its front matter
};

MarkdownPage SplitFrontMatter(std::string_view text);

// What a page refers to.
enum class MarkdownReference {
    Picture,   // ![alt](path)
    Link,      // [text](path)
    WikiLink,  // [[Page]], [[Page|text]]
    WikiEmbed, // ![[picture.png]]
};

// The address in the note of what the page refers to: a path (relative to
// the page, percent-decoded, without "#…" or "?…") or a wiki-link's target
// as written. Empty when there is none: a link keeps its text, a picture its
// description.
using MarkdownAddressOf = std::function<std::string(MarkdownReference kind, const std::string &target)>;

struct MarkdownConversion
{
    std::string html;
    bool rawHtmlLeftOut = false;
};

MarkdownConversion ConvertMarkdown(std::string_view markdown, const MarkdownAddressOf &addressOf);
