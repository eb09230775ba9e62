#pragma once
// A formatted log entry whose text is made later, on the log writer's thread: its format
// string and its arguments packed by value into the queued entry's bytes.

#include <fmt/format.h>

#include <cstddef>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>

namespace ZEL::LogsPipe {

// How a formatted entry's arguments wait in the queue: packed by value into the entry's
// bytes, and read back on the writer's thread as what they were (numbers as themselves,
// strings as views of their copied bytes), so the text comes out as the caller's thread
// would have made it. Any other type is formatted on the caller's thread instead.
template <class T>
struct TArg {
  static constexpr bool Deferred = false;
};

template <class T>
  requires std::is_arithmetic_v<T>
struct TArg<T> {
  static constexpr bool Deferred = true;
  static std::size_t Size(const T&) { return sizeof(T); }
  static char* Pack(char* AOut, const T& AValue) {
    std::memcpy(AOut, &AValue, sizeof AValue);
    return AOut + sizeof AValue;
  }
  static T Unpack(const char*& AIn) {
    T value;
    std::memcpy(&value, AIn, sizeof value);
    AIn += sizeof value;
    return value;
  }
};

// Its length, its bytes and a terminating zero; read back as a C string (what fmt sees for
// a pointer or an array of char) or a view (for std::string and std::string_view).
struct TStringArg {
  static constexpr bool Deferred = true;
  static constexpr std::size_t cNull = ~std::size_t{0};
  static std::size_t SizeOf(const char* AText, std::size_t ASize) {
    return sizeof(std::size_t) + (AText ? ASize + 1 : 0);
  }
  static char* PackText(char* AOut, const char* AText, std::size_t ASize) {
    const std::size_t head = AText ? ASize : cNull;
    std::memcpy(AOut, &head, sizeof head);
    AOut += sizeof head;
    if (!AText) return AOut;
    if (ASize != 0) std::memcpy(AOut, AText, ASize);
    AOut[ASize] = '\0';
    return AOut + ASize + 1;
  }
  // Null for a null pointer (fmt then reports it, as it would have on the caller's thread).
  static const char* UnpackText(const char*& AIn, std::size_t& ASize) {
    std::memcpy(&ASize, AIn, sizeof ASize);
    AIn += sizeof ASize;
    if (ASize == cNull) return nullptr;
    const char* text = AIn;
    AIn += ASize + 1;
    return text;
  }
};

struct TCStringArg : TStringArg {
  static std::size_t Size(const char* AText) { return SizeOf(AText, AText ? std::strlen(AText) : 0); }
  static char* Pack(char* AOut, const char* AText) { return PackText(AOut, AText, AText ? std::strlen(AText) : 0); }
  static const char* Unpack(const char*& AIn) {
    std::size_t size = 0;
    return UnpackText(AIn, size);
  }
};
template <>
struct TArg<const char*> : TCStringArg {};
template <>
struct TArg<char*> : TCStringArg {};
template <std::size_t N>
struct TArg<char[N]> : TCStringArg {};

struct TViewArg : TStringArg {
  // An empty view may have no data: packed as an empty text, not as a null.
  static std::size_t Size(std::string_view AText) { return SizeOf("", AText.size()); }
  static char* Pack(char* AOut, std::string_view AText) { return PackText(AOut, AText.data() ? AText.data() : "", AText.size()); }
  static std::string_view Unpack(const char*& AIn) {
    std::size_t size = 0;
    const char* text = UnpackText(AIn, size);
    return {text, size};
  }
};
template <>
struct TArg<std::string> : TViewArg {};
template <>
struct TArg<std::string_view> : TViewArg {};

// Addresses are printed, never followed.
struct TPointerArg {
  static constexpr bool Deferred = true;
  static std::size_t Size(const void*) { return sizeof(const void*); }
  static char* Pack(char* AOut, const void* AValue) {
    std::memcpy(AOut, &AValue, sizeof AValue);
    return AOut + sizeof AValue;
  }
  static const void* Unpack(const char*& AIn) {
    const void* value;
    std::memcpy(&value, AIn, sizeof value);
    AIn += sizeof value;
    return value;
  }
};
template <>
struct TArg<void*> : TPointerArg {};
template <>
struct TArg<const void*> : TPointerArg {};
template <>
struct TArg<std::nullptr_t> : TPointerArg {};

template <class... T>
inline constexpr bool AllDeferred = (TArg<T>::Deferred && ...);

// A formatted entry on its way into the queue: the caller's format string and arguments,
// and how to pack them and, later, to make the text from the packed bytes.
struct TDeferredFmt {
  fmt::string_view Format;
  std::size_t ArgsSize = 0;    // bytes PackArgs writes
  const void* Args = nullptr;  // the caller's arguments, alive during the call only
  char* (*PackArgs)(const void* AArgs, char* AOut) = nullptr;
  void (*Render)(fmt::memory_buffer& AOut, fmt::string_view AFormat, const char* APacked) = nullptr;

  // The text, made at once (for captures, standard error and writers that keep no queue).
  std::string Text() const;
};

template <class... T>
char* PackArgs(const void* AArgs, char* AOut) {
  const auto& args = *static_cast<const std::tuple<const T&...>*>(AArgs);
  std::apply([&](const T&... A) { ((AOut = TArg<T>::Pack(AOut, A)), ...); }, args);
  return AOut;
}

template <class... T>
void RenderPacked(fmt::memory_buffer& AOut, fmt::string_view AFormat, const char* APacked) {
  // A braced list reads the arguments back in order.
  const std::tuple<decltype(TArg<T>::Unpack(APacked))...> values{TArg<T>::Unpack(APacked)...};
  std::apply([&](const auto&... V) { fmt::vformat_to(std::back_inserter(AOut), AFormat, fmt::make_format_args(V...)); },
             values);
}

}  // namespace ZEL::LogsPipe
