#pragma once
// What the QR enrolment scanner decides without a window: the enrolment payload's parser,
// the gate that picks the frames to decode, and the decode of one frame.

#include <QImage>

#include <cstdint>
#include <functional>
#include <string>

namespace ZEL {

// The enrolment data read from a QR code. Texts are UTF-8.
struct TZELQRCodeDataRec {
  std::int32_t Version = 0;
  std::string InvCode;
  std::string Email;
  std::string FirstName;
  std::string LastName;
};

}  // namespace ZEL

namespace ZEL::QRCode::Scan {

// Longest text a field may hold, in characters.
inline constexpr int FieldMaxLength = 255;

using TLogProc = std::function<void(const std::string&)>;

// Reads an enrolment payload into ARec. Every failure that is worth a line writes it
// through ALog; a text that is not a payload at all fails without one. ARec is cleared
// first and is only meaningful when the result is true.
bool TryParseQRCode(const std::string& AText, TZELQRCodeDataRec& ARec, const TLogProc& ALog);

// Picks the frames to decode: every fourth frame that arrives while no decode runs.
class TFrameGate {
public:
  // Counts one arrived frame; true when it is to be decoded.
  bool Take(bool ADecodeRunning);
  int FrameTake() const { return FFrameTake; }

private:
  int FFrameTake = 0;  // frames counted while no decode ran, modulo the period
};

// What a decode gave: a text, nothing, or the exception that ended it.
struct TDecodeOutcome {
  bool Decoded = false;
  std::string Text;   // UTF-8
  bool Failed = false;
  std::string ErrorClass;
  std::string ErrorMessage;
};

// Decodes a QR code (any format the decoder knows) in the image, on its luminance. Runs on
// any thread; never throws (an exception comes back as Failed).
TDecodeOutcome DecodeImage(const QImage& AImage);

}  // namespace ZEL::QRCode::Scan
