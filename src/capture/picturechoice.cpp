#include "picturechoice.h"

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// A plain decimal number ("2", "1.5", ".5"); -1 when the text is none. Read by
// hand, so that the user's locale cannot turn the point into a comma.
double DecimalValue(std::string_view text, bool fractionAllowed)
{
    double value = 0;
    double scale = 0;
    bool digits = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            digits = true;
            if (scale == 0) {
                value = value * 10 + (c - '0');
            } else {
                value += (c - '0') * scale;
                scale /= 10;
            }
        } else if (c == '.' && fractionAllowed && scale == 0) {
            scale = 0.1;
        } else {
            return -1;
        }
    }
    return digits ? value : -1;
}

// The w or x descriptor among the tokens, as written; empty when there is none.
std::string SizeDescriptor(std::string_view descriptors)
{
    std::size_t at = 0;
    while (at < descriptors.size()) {
        while (at < descriptors.size() && IsSpace(descriptors[at]))
            ++at;
        const std::size_t begin = at;
        while (at < descriptors.size() && !IsSpace(descriptors[at]))
            ++at;
        const std::string_view token = descriptors.substr(begin, at - begin);
        if (token.size() < 2)
            continue;
        const char unit = token.back();
        if (unit != 'w' && unit != 'x')
            continue;
        if (DecimalValue(token.substr(0, token.size() - 1), unit == 'x') > 0)
            return std::string(token);
    }
    return {};
}

double DescriptorValue(const std::string &descriptor)
{
    return descriptor.empty() ? 1.0 : DecimalValue(std::string_view(descriptor).substr(0, descriptor.size() - 1), true);
}

} // namespace

std::vector<PictureCandidate> SrcsetCandidates(std::string_view srcset)
{
    std::vector<PictureCandidate> candidates;
    std::size_t at = 0;
    for (;;) {
        while (at < srcset.size() && (IsSpace(srcset[at]) || srcset[at] == ','))
            ++at;
        if (at >= srcset.size())
            break;
        const std::size_t addressBegin = at;
        while (at < srcset.size() && !IsSpace(srcset[at]))
            ++at;
        std::string_view address = srcset.substr(addressBegin, at - addressBegin);
        PictureCandidate candidate;
        if (address.back() == ',') {
            // "a.png,b.png": the comma ends the candidate; it has no descriptors.
            while (!address.empty() && address.back() == ',')
                address.remove_suffix(1);
        } else {
            const std::size_t descriptorsBegin = at;
            int depth = 0;
            while (at < srcset.size() && (depth > 0 || srcset[at] != ',')) {
                if (srcset[at] == '(')
                    ++depth;
                else if (srcset[at] == ')' && depth > 0)
                    --depth;
                ++at;
            }
            candidate.descriptor = SizeDescriptor(srcset.substr(descriptorsBegin, at - descriptorsBegin));
        }
        if (address.empty())
            continue;
        candidate.address = std::string(address);
        candidates.push_back(std::move(candidate));
    }
    return candidates;
}

int SharpestCandidate(const std::vector<PictureCandidate> &candidates)
{
    bool byWidth = false;
    for (const PictureCandidate &candidate : candidates)
        byWidth = byWidth || (!candidate.descriptor.empty() && candidate.descriptor.back() == 'w');
    int best = -1;
    double bestValue = 0;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const std::string &descriptor = candidates[i].descriptor;
        const bool width = !descriptor.empty() && descriptor.back() == 'w';
        if (byWidth != width)
            continue;
        const double value = DescriptorValue(descriptor);
        if (best < 0 || value > bestValue) {
            best = static_cast<int>(i);
            bestValue = value;
        }
    }
    return best;
}
