#pragma once

#include <random>
#include <string>

enum AddressKind : int {
    OtherAddress = 0,
    HttpAddress = 1,
    FileAddress = 2,
    HttpsAddress = 3,
};

// The pieces of a picture address; every text is empty unless the address sets it.
struct AddressParts
{
    int kind = OtherAddress;
    std::string host; // an IPv6 literal keeps its brackets ("[::1]")
    std::string port; // digits as text: "80", "443" or the address's own
    std::string user; // user and password as the address escapes them
    std::string password;
    std::string path;        // what is asked of the server (query included), or the local file
    std::string lastSegment; // the text after the address's last "/" (or "\\" for files)
};

// Splits by the exact lower-case prefix: "http://", "https://" or "file://". The
// authority of a web address (user, password, host, port) is read by libcurl's
// URL parser; one it refuses leaves host and port empty.
AddressParts SplitAddress(const std::string &address);

// The address curl is asked for: scheme, credentials, host, port and the path
// escaped as a browser escapes it before asking. Empty for no web address.
std::string RequestAddress(const AddressParts &parts);

// Whether a download or copy can be tried at all: a known scheme, a host and a
// numeric port for the web, an absolute path for a local file.
bool IsFetchable(const AddressParts &parts);

// The local file name of a picture, in two pieces so that numbers can be put
// between them when the name is taken.
struct PictureName
{
    std::string stem;
    std::string extension; // from the last ".", or empty
};

// The stem and extension of the address's last segment, escapes decoded, with
// the characters a file name cannot hold and bytes that are not UTF-8 replaced
// by "-", so that the reference "images/" + name reads back as the name. A web
// address's query is folded into the stem (a.jpg?w=100 gives a-w=100 and .jpg),
// so the name keeps its real extension and does not end in a query.
PictureName LocalPictureName(const AddressParts &parts);

// Claims a file in imagesFolder (ends with "/") for the picture by creating it
// empty; while the name is taken, random numbers from 0 to 999 are appended to
// the stem. The stem is shortened (at a character boundary) so that the whole
// name fits the file system with its extension and numbers. Returns the file's
// path, or empty when no file can be made there.
std::string ReservePictureFile(const std::string &imagesFolder, const PictureName &name, std::mt19937 &random);

// Moves a stored picture without extension to its name plus the extension
// (".webp"), atomically and never over another file: while that name is taken,
// random numbers are put before the extension. Returns the new path, or the old
// one when it cannot be moved.
std::string MovedToExtension(const std::string &path, const std::string &extension, std::mt19937 &random);

// The extension a picture of this Content-Type is stored with, or empty for a
// type the note's view would not show by its name.
std::string ExtensionOfType(const std::string &contentType);

// The images folder of a day folder given without trailing "/".
std::string ImagesFolderOf(const std::string &dayFolder);
