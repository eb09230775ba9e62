#include "ZEL.QRCode.Scan.h"

#include "ZEL.Exceptions.h"
#include "ZEL.Register.Decisions.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <ZXing/ReadBarcode.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <string_view>

namespace ZEL {

// The class name the malformed-JSON line prints.
ZEL_DECLARE_EXCEPTION(EJSONParseException, EZELException)

}  // namespace ZEL

namespace ZEL::QRCode::Scan {

namespace {

constexpr std::string_view cPayloadStart = "{\"ZELEnrollPayload\":";

std::string_view Trimmed(std::string_view AText) {
  const auto LBlank = [](char C) { return static_cast<unsigned char>(C) <= ' '; };
  while (!AText.empty() && LBlank(AText.front())) AText.remove_prefix(1);
  while (!AText.empty() && LBlank(AText.back())) AText.remove_suffix(1);
  return AText;
}

// Characters, not bytes: the parser has checked that the text is UTF-8.
int CharCount(const std::string& AText) {
  return static_cast<int>(std::count_if(AText.begin(), AText.end(),
                                        [](char C) { return (static_cast<unsigned char>(C) & 0xC0) != 0x80; }));
}

// The line and the offset in it of a byte position (both from 1).
void LineAndOffset(std::string_view AText, std::size_t APos, int& ALine, int& AOffset) {
  ALine = 1;
  AOffset = 0;
  for (std::size_t I = 0; I < APos && I < AText.size(); ++I) {
    if (AText[I] == '\n') {
      ++ALine;
      AOffset = 0;
    } else {
      ++AOffset;
    }
  }
}

bool IsCode(const std::string& AText) {
  return static_cast<int>(AText.size()) == Register::InvCodeLength &&
         std::all_of(AText.begin(), AText.end(), [](char C) { return C >= '0' && C <= '9'; });
}

}  // namespace

bool TryParseQRCode(const std::string& AText, TZELQRCodeDataRec& ARec, const TLogProc& ALog) {
  ARec = TZELQRCodeDataRec{};
  const auto LLog = [&ALog](const std::string& ALine) {
    if (ALog) ALog(ALine);
  };
  const std::string_view LText = Trimmed(AText);
  if (!LText.starts_with('{') || !LText.starts_with(cPayloadStart)) return false;

  nlohmann::json LJSON;
  try {
    LJSON = nlohmann::json::parse(LText);
  } catch (const nlohmann::json::parse_error& E) {
    int LLine = 0;
    int LOffset = 0;
    LineAndOffset(LText, E.byte, LLine, LOffset);
    LLog(fmt::format("Malformed JSON. [{}]: {} (L: {}, O: {}, P: {})", EJSONParseException("").className(),
                     E.what(), LLine, LOffset, E.byte));
    return false;
  } catch (const std::exception& E) {
    LLog(fmt::format("Bad JSON. [{}]: {}", Exceptions::ClassNameOf(E), E.what()));
    return false;
  }

  const nlohmann::json* LPayload = LJSON.is_object() ? &LJSON["ZELEnrollPayload"] : nullptr;
  const nlohmann::json* LVersion =
      LPayload && LPayload->is_object() && LPayload->contains("version") ? &(*LPayload)["version"] : nullptr;
  // A version must be a whole number a 32-bit integer holds; 1.5 is no version.
  std::int64_t LValue = 0;
  bool LWhole = false;
  if (LVersion && LVersion->is_number_integer()) {
    if (LVersion->is_number_unsigned()) {
      const auto LU = LVersion->get<std::uint64_t>();
      LWhole = LU <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
      LValue = static_cast<std::int64_t>(LU);
    } else {
      LValue = LVersion->get<std::int64_t>();
      LWhole = true;
    }
  } else if (LVersion && LVersion->is_number_float()) {
    const double LD = LVersion->get<double>();
    LWhole = std::trunc(LD) == LD && std::abs(LD) <= 1e15;
    LValue = LWhole ? static_cast<std::int64_t>(LD) : 0;
  }
  if (LWhole)
    LWhole = LValue >= std::numeric_limits<std::int32_t>::min() && LValue <= std::numeric_limits<std::int32_t>::max();
  if (!LWhole) {
    LLog("Invalid payload. Version not exists.");
    return false;
  }
  ARec.Version = static_cast<std::int32_t>(LValue);
  LLog(fmt::format("Payload version: {}", ARec.Version));
  if (ARec.Version != 1) {
    LLog(fmt::format("Unknown payload. Unsupported version: {}", ARec.Version));
    return false;
  }

  const nlohmann::json* LFields = LPayload->contains("fields") && (*LPayload)["fields"].is_object()
                                      ? &(*LPayload)["fields"]
                                      : nullptr;
  const struct {
    const char* Key;
    const char* Name;
    std::string TZELQRCodeDataRec::*Field;
  } LSteps[] = {
      {"code", "Code", &TZELQRCodeDataRec::InvCode},
      {"email", "Email", &TZELQRCodeDataRec::Email},
      {"firstName", "First name", &TZELQRCodeDataRec::FirstName},
      {"lastName", "Last name", &TZELQRCodeDataRec::LastName},
  };
  for (const auto& LStep : LSteps) {
    if (!LFields || !LFields->contains(LStep.Key) || !(*LFields)[LStep.Key].is_string()) {
      LLog(fmt::format("Invalid payload. {} field not present.", LStep.Name));
      return false;
    }
    const auto& LValueText = (*LFields)[LStep.Key].get_ref<const std::string&>();
    // Refused rather than cut: a shortened address or code would be a different one.
    if (CharCount(LValueText) > FieldMaxLength) {
      LLog(fmt::format("Invalid payload. {} field longer than {} characters.", LStep.Name, FieldMaxLength));
      return false;
    }
    ARec.*LStep.Field = LValueText;
  }
  if (!IsCode(ARec.InvCode)) {
    LLog(fmt::format("Invalid payload. Code field is not {} digits.", Register::InvCodeLength));
    return false;
  }
  return true;
}

bool TFrameGate::Take(bool ADecodeRunning) {
  constexpr int cPeriod = 4;
  if (ADecodeRunning) return false;
  FFrameTake = (FFrameTake + 1) % cPeriod;
  return FFrameTake == 0;
}

TDecodeOutcome DecodeImage(const QImage& AImage) {
  TDecodeOutcome LOutcome;
  try {
    const QImage LLum = AImage.convertToFormat(QImage::Format_Grayscale8);
    if (LLum.isNull()) return LOutcome;
    const ZXing::ImageView LView(LLum.constBits(), LLum.width(), LLum.height(), ZXing::ImageFormat::Lum,
                                 static_cast<int>(LLum.bytesPerLine()));
    const ZXing::Result LResult = ZXing::ReadBarcode(LView, ZXing::DecodeHints());
    if (LResult.isValid()) {
      LOutcome.Decoded = true;
      LOutcome.Text = LResult.text();
    }
  } catch (...) {
    const Exceptions::TCaught LCaught = Exceptions::DescribeCurrent();
    LOutcome = TDecodeOutcome{};
    LOutcome.Failed = true;
    LOutcome.ErrorClass = LCaught.ClassName;
    LOutcome.ErrorMessage = LCaught.Message;
  }
  return LOutcome;
}

}  // namespace ZEL::QRCode::Scan
