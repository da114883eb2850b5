// SPDX-License-Identifier: GPL-3.0-or-later
// Headers written as text: the portable maps and Radiance files.
#include "declaredpicturesizereaders.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <cctype>

namespace {

// Comments may make a header long, but a real one fits in this many bytes.
constexpr qint64 textHeaderLimit = 64 * 1024;

bool isBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// A positive whole number of at most ten digits, so that products of two stay exact.
std::optional<std::int64_t> positiveNumber(const QByteArray &word) {
    if (word.isEmpty() || word.size() > 10)
        return std::nullopt;
    for (const char c : word)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
    const std::int64_t value = word.toLongLong();
    return value > 0 ? std::optional<std::int64_t>(value) : std::nullopt;
}

// The words of a header, white space and '#' comments (to the end of their line) between them.
class HeaderWords {
public:
    explicit HeaderWords(QByteArray bytes) : text(std::move(bytes)) {}

    QByteArray word() {
        skipBlanksAndComments();
        const qsizetype start = at;
        while (at < text.size() && !isBlank(text[at]) && text[at] != '#')
            ++at;
        return text.mid(start, at - start);
    }

    std::optional<std::int64_t> number() { return positiveNumber(word()); }

private:
    void skipBlanksAndComments() {
        while (at < text.size()) {
            if (text[at] == '#') {
                while (at < text.size() && text[at] != '\n' && text[at] != '\r')
                    ++at;
            } else if (isBlank(text[at])) {
                ++at;
            } else {
                return;
            }
        }
    }

    QByteArray text;
    qsizetype at = 0;
};

// Pixels stored raw take exactly their decoded bytes.
std::optional<DeclaredPicture> declared(std::optional<std::int64_t> width,
                                        std::optional<std::int64_t> height, int bytesPerPixel,
                                        bool raw) {
    if (!width || !height)
        return std::nullopt;
    DeclaredPicture picture{*width, *height, bytesPerPixel};
    if (raw)
        picture.leastFileBytes = picture.decodedBytes();
    return picture;
}

int sampleBytes(std::int64_t maxValue) {
    return maxValue > 255 ? 2 : 1;
}

// The "KEY value" lines of a PAM header, up to ENDHDR.
std::optional<DeclaredPicture> readPamWords(HeaderWords &words) {
    std::optional<std::int64_t> width;
    std::optional<std::int64_t> height;
    std::int64_t depth = 1;
    std::int64_t maxValue = 255;
    for (QByteArray key = words.word(); !key.isEmpty(); key = words.word()) {
        if (key == "ENDHDR") {
            // Stored raw, all channels; decoded to four at most.
            std::optional<DeclaredPicture> picture =
                declared(width, height,
                         int(std::min<std::int64_t>(depth, 4)) * sampleBytes(maxValue), false);
            if (picture)
                picture->leastFileBytes = DeclaredPicture::saturatedProduct(
                    picture->pixels(), depth * sampleBytes(maxValue));
            return picture;
        }
        const QByteArray value = words.word();
        if (key == "WIDTH")
            width = positiveNumber(value);
        else if (key == "HEIGHT")
            height = positiveNumber(value);
        else if (key == "DEPTH")
            depth = positiveNumber(value).value_or(1);
        else if (key == "MAXVAL")
            maxValue = positiveNumber(value).value_or(255);
    }
    return std::nullopt;
}

} // namespace

std::optional<DeclaredPicture> readPortableMapHeader(QFile &file) {
    HeaderWords words(file.read(textHeaderLimit));
    const QByteArray magic = words.word();
    if (magic == "P7")
        return readPamWords(words);
    if (magic.size() != 2 || magic[0] != 'P' || magic[1] < '1' || magic[1] > '6')
        return std::nullopt;
    const bool bitmap = magic[1] == '1' || magic[1] == '4';
    const bool colour = magic[1] == '3' || magic[1] == '6';
    const std::optional<std::int64_t> width = words.number();
    const std::optional<std::int64_t> height = words.number();
    const std::optional<std::int64_t> maxValue = bitmap ? 1 : words.number();
    if (!maxValue)
        return std::nullopt;
    const int channels = colour ? 3 : 1;
    std::optional<DeclaredPicture> picture =
        declared(width, height, channels * sampleBytes(*maxValue), magic[1] >= '5');
    // Plain text takes a character a sample at least; packed bits a byte for eight pixels.
    if (picture && magic[1] <= '3')
        picture->leastFileBytes = DeclaredPicture::saturatedProduct(picture->pixels(), channels);
    else if (picture && magic[1] == '4')
        picture->leastFileBytes =
            DeclaredPicture::saturatedProduct((picture->width + 7) / 8, picture->height);
    return picture;
}

std::optional<DeclaredPicture> readPortableFloatMapHeader(QFile &file) {
    HeaderWords words(file.read(textHeaderLimit));
    const QByteArray magic = words.word();
    if (magic != "PF" && magic != "Pf")
        return std::nullopt;
    const std::optional<std::int64_t> width = words.number();
    const std::optional<std::int64_t> height = words.number();
    return declared(width, height, magic == "PF" ? 12 : 4, true);
}

std::optional<DeclaredPicture> readRadianceHeader(QFile &file) {
    const QList<QByteArray> lines = file.read(textHeaderLimit).split('\n');
    if (lines.isEmpty() || !lines.first().startsWith("#?"))
        return std::nullopt;
    qsizetype blank = 1;
    while (blank < lines.size() && !lines[blank].trimmed().isEmpty())
        ++blank;
    if (blank + 1 >= lines.size())
        return std::nullopt;
    // "-Y rows +X columns", or the axes the other way round for pictures stored by column.
    const QList<QByteArray> resolution = lines[blank + 1].simplified().split(' ');
    if (resolution.size() != 4 || resolution[0].size() != 2 || resolution[2].size() != 2)
        return std::nullopt;
    const char first = resolution[0][1];
    const char second = resolution[2][1];
    if (!((first == 'Y' && second == 'X') || (first == 'X' && second == 'Y')))
        return std::nullopt;
    const std::optional<std::int64_t> firstCount = positiveNumber(resolution[1]);
    const std::optional<std::int64_t> secondCount = positiveNumber(resolution[3]);
    // Decoded as three 32-bit floats a pixel.
    return first == 'Y' ? declared(secondCount, firstCount, 12, false)
                        : declared(firstCount, secondCount, 12, false);
}
