#pragma once
// QR images made with the decoder's own writer, turned into video frames the way a camera
// delivers them, and an enrolment payload to put in them.

#include "ZEL.Forms.CameraQRCode.h"

#include <ZXing/BitMatrix.h>
#include <ZXing/CharacterSet.h>
#include <ZXing/MultiFormatWriter.h>

#include <QImage>
#include <QVideoFrame>
#include <QVideoFrameFormat>
#include <QVideoSink>

#include <cstring>
#include <string>

namespace ZEL::Test {

// A payload with names beyond ASCII ("Zoé Brontë").
inline std::string EnrolPayload(int AVersion = 1, const std::string& ACode = "482915") {
  return "{\"ZELEnrollPayload\":{\"version\":" + std::to_string(AVersion) +
         ",\"fields\":{\"code\":\"" + ACode +
         "\",\"email\":\"zoe.brunner@example.com\",\"firstName\":\"Zo\xC3\xA9\",\"lastName\":\"Bront\xC3\xAB\"}}}";
}

// The QR code of AText (UTF-8, marked as such in the code) as a picture of ASize pixels.
inline QImage QRImage(const std::string& AText, int ASize = 320) {
  const ZXing::BitMatrix LBits = ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode)
                                     .setEncoding(ZXing::CharacterSet::UTF8)
                                     .setMargin(16)
                                     .encode(AText, ASize, ASize);
  QImage LImage(LBits.width(), LBits.height(), QImage::Format_ARGB32);
  for (int Y = 0; Y < LBits.height(); ++Y)
    for (int X = 0; X < LBits.width(); ++X) LImage.setPixel(X, Y, LBits.get(X, Y) ? 0xFF000000 : 0xFFFFFFFF);
  return LImage;
}

// A video frame in memory holding AImage, as a camera's sample buffer would.
inline QVideoFrame FrameOf(const QImage& AImage) {
  const QImage LImage = AImage.convertToFormat(QImage::Format_ARGB32);
  QVideoFrame LFrame(QVideoFrameFormat(LImage.size(), QVideoFrameFormat::Format_BGRA8888));
  if (!LFrame.map(QVideoFrame::WriteOnly)) return {};
  for (int Y = 0; Y < LImage.height(); ++Y)
    std::memcpy(LFrame.bits(0) + Y * LFrame.bytesPerLine(0), LImage.constScanLine(Y),
                static_cast<std::size_t>(LImage.width()) * 4);
  LFrame.unmap();
  return LFrame;
}

}  // namespace ZEL::Test
