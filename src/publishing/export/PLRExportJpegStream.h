#pragma once

// A JPEG made row by row, as the rows of a picture come in: the encoder never needs the whole
// picture. For a 32-bit RGB picture without a colour profile or texts (an export's drawing) the
// bytes are those encodeJPEG() gives for the whole picture: the same libjpeg settings, the
// same header and the same DPI in it.

#include <QByteArray>
#include <QImage>
#include <QString>

#include <memory>

namespace plr_export {

class JpegRowEncoder {
public:
    JpegRowEncoder();
    ~JpegRowEncoder();
    JpegRowEncoder(const JpegRowEncoder&) = delete;
    JpegRowEncoder& operator=(const JpegRowEncoder&) = delete;

    // Starts a JPEG of width x height pixels with the compression factor (0.0-1.0) and the DPI
    // in its JFIF header (72 when dpi <= 0). False (see error()) when it cannot.
    bool start(int width, int height, float compression, qint64 dpi);
    // The next row (`width` pixels; alpha is not looked at).
    bool addRow(const QRgb* row);
    // The JPEG once every row was added; empty on failure.
    QByteArray finish();
    QString error() const;
    // What the encoder holds beside the JPEG for a picture this wide.
    static qint64 bytesFor(int width);

    // Whether the picture's rows make the bytes encodeJPEG() gives for it.
    static bool encodesAsWhole(const QImage& picture);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace plr_export
