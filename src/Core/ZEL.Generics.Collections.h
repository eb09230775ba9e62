#pragma once
// Owning object lists that announce every addition and removal to any number of
// subscribers through their own multicast delegate.

#include <cstddef>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ZEL.ExceptionReporter.h"
#include "ZEL.Generics.Delegate.h"
#include "ZEL.LogsPipe.h"

namespace ZEL {

// The names appear in log lines; the lists raise only cnAdded, cnExtracted and cnRemoved.
enum class TCollectionNotification { cnAdding, cnAdded, cnExtracting, cnExtracted, cnDeleting, cnRemoved };

}  // namespace ZEL

namespace ZEL::Generics::Collections {

// "cnAdding" .. "cnRemoved".
std::string_view NotificationName(TCollectionNotification AAction);

}  // namespace ZEL::Generics::Collections

namespace ZEL {

// A list's change handler: the list (as an identity), the item, what happened.
template <class T>
using TCollectionNotifyEvent = TMethod<void(const void* Sender, T* const& Item, TCollectionNotification Action)>;

template <class T>
class TCollectionNotifyEventDelegate : public TEventDelegate<TCollectionNotifyEvent<T>> {
public:
  using TEventDelegate<TCollectionNotifyEvent<T>>::TEventDelegate;

  // Calls every handler with the arguments, in registration order.
  void Notify(const void* Sender, T* const& Item, TCollectionNotification Action) {
    this->Emit([&](const TCollectionNotifyEvent<T>& AHandler) {
      AHandler(Sender, Item, Action);
      return true;
    });
  }
};

// An owning list of T (a class with a TypeName). An item that leaves by removal is freed
// right after its announcement; an extracted one goes back to the caller. The Sender of
// every announcement is this list (as TDelegatedObjectList<T>*).
template <class T>
class TDelegatedObjectList {
  using TItems = std::vector<std::unique_ptr<T>>;

public:
  class const_iterator {
  public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T*;
    using difference_type = std::ptrdiff_t;
    using pointer = T* const*;
    using reference = T*;

    const_iterator() = default;
    explicit const_iterator(typename TItems::const_iterator AIt) : FIt(AIt) {}
    T* operator*() const { return FIt->get(); }
    const_iterator& operator++() {
      ++FIt;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator old = *this;
      ++FIt;
      return old;
    }
    friend bool operator==(const const_iterator& A, const const_iterator& B) { return A.FIt == B.FIt; }

  private:
    typename TItems::const_iterator FIt;
  };

  TDelegatedObjectList() : FTag(ListTag()), FNotifyDelegate(this) {}

  // Every remaining item is announced with cnRemoved (outside a clear, so subscribers hear
  // it) and then freed; holders that want silence clear the list first.
  virtual ~TDelegatedObjectList() {
    TItems leaving = std::move(FItems);
    FItems.clear();
    for (auto& item : leaving) {
      // A destructor cannot pass a handler's exception on; report it and free the rest.
      ExceptionReporter::Guarded(FTag, [&] { OnListNotify(item.get(), TCollectionNotification::cnRemoved); });
      item.reset();
    }
  }

  TDelegatedObjectList(const TDelegatedObjectList&) = delete;
  TDelegatedObjectList& operator=(const TDelegatedObjectList&) = delete;

  TCollectionNotifyEventDelegate<T>& OnNotify() { return FNotifyDelegate; }

  int Count() const { return static_cast<int>(FItems.size()); }
  bool IsEmpty() const { return FItems.empty(); }
  T* operator[](int AIndex) const { return FItems.at(CheckIndex(AIndex, false)).get(); }
  const_iterator begin() const { return const_iterator(FItems.cbegin()); }
  const_iterator end() const { return const_iterator(FItems.cend()); }

  // -1 when the item is not in the list.
  int IndexOf(const T* AItem) const {
    for (std::size_t i = 0; i < FItems.size(); ++i)
      if (FItems[i].get() == AItem) return static_cast<int>(i);
    return -1;
  }

  // Appends; announces cnAdded once the item is in the list. Gives the item.
  T* Add(std::unique_ptr<T> AItem) {
    FItems.push_back(std::move(AItem));
    T* item = FItems.back().get();
    OnListNotify(item, TCollectionNotification::cnAdded);
    return item;
  }

  // Inserts at AIndex (0..Count); announces cnAdded. Gives the item.
  T* Insert(int AIndex, std::unique_ptr<T> AItem) {
    const std::size_t at = CheckIndex(AIndex, true);
    T* item = AItem.get();
    FItems.insert(FItems.begin() + static_cast<std::ptrdiff_t>(at), std::move(AItem));
    OnListNotify(item, TCollectionNotification::cnAdded);
    return item;
  }

  // Removes and frees the item at AIndex, announcing cnRemoved in between.
  void Delete(int AIndex) {
    const std::size_t at = CheckIndex(AIndex, false);
    std::unique_ptr<T> item = std::move(FItems[at]);
    FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(at));
    OnListNotify(item.get(), TCollectionNotification::cnRemoved);
  }

  // Deletes the item when it is in the list; gives its former index or -1.
  int Remove(const T* AItem) {
    const int index = IndexOf(AItem);
    if (index >= 0) Delete(index);
    return index;
  }

  // Takes the item out without freeing it, announcing cnExtracted; null when absent.
  std::unique_ptr<T> Extract(const T* AItem) {
    const int index = IndexOf(AItem);
    if (index < 0) return nullptr;
    std::unique_ptr<T> item = std::move(FItems[static_cast<std::size_t>(index)]);
    FItems.erase(FItems.begin() + index);
    OnListNotify(item.get(), TCollectionNotification::cnExtracted);
    return item;
  }

  // Stores ANew at AIndex, then announces cnRemoved for the old item (freeing it) and
  // cnAdded for the new one.
  void SetItem(int AIndex, std::unique_ptr<T> ANew) {
    const std::size_t at = CheckIndex(AIndex, false);
    std::unique_ptr<T> old = std::exchange(FItems[at], std::move(ANew));
    T* item = FItems[at].get();
    OnListNotify(old.get(), TCollectionNotification::cnRemoved);
    old.reset();
    OnListNotify(item, TCollectionNotification::cnAdded);
  }

  // Removes ACount items from AIndex: all leave first, then each is announced and freed.
  void DeleteRange(int AIndex, int ACount) {
    if (ACount < 0 || AIndex < 0 || AIndex > Count() - ACount)
      throw std::out_of_range(FTag + ": range out of bounds");
    auto first = FItems.begin() + AIndex;
    TItems leaving(std::make_move_iterator(first), std::make_move_iterator(first + ACount));
    FItems.erase(first, first + ACount);
    AnnounceAndFree(leaving);
  }

  // Removes and frees every item; subscribers hear cnRemoved per item only with ANotify.
  void Clear(bool ANotify) {
    LogsPipe::ZELLog().Debug(FTag, "Clear start");
    FDoNotifyInClear = ANotify;
    FInClear = true;
    struct TInClearReset {
      bool& Flag;
      ~TInClearReset() { Flag = false; }
    } reset{FInClear};
    TItems leaving = std::move(FItems);
    FItems.clear();
    AnnounceAndFree(leaving);
    LogsPipe::ZELLog().Debug(FTag, "Clear end");
  }

protected:
  const std::string& Tag() const { return FTag; }

private:
  static std::string_view BoolText(bool AValue) { return AValue ? "True" : "False"; }

  std::size_t CheckIndex(int AIndex, bool AAllowEnd) const {
    if (AIndex < 0 || AIndex > Count() || (!AAllowEnd && AIndex == Count()))
      throw std::out_of_range(FTag + ": index out of bounds");
    return static_cast<std::size_t>(AIndex);
  }

  // Items that already left the list: announced and freed one by one, in order. When a
  // handler throws, the rest are still freed (without announcement) as the vector goes.
  void AnnounceAndFree(TItems& ALeaving) {
    for (auto& item : ALeaving) {
      OnListNotify(item.get(), TCollectionNotification::cnRemoved);
      item.reset();
    }
  }

  // The one hook every change goes through.
  void OnListNotify(T* const& AItem, TCollectionNotification AAction) {
    ILogWriter& log = LogsPipe::ZELLog();
    log.FatalFmt(FTag, "OnListNotify FInClear = {} FDoNotifyInClear = {}", BoolText(FInClear),
                 BoolText(FDoNotifyInClear));
    if (FInClear && !FDoNotifyInClear) return;
    log.DebugFmt(FTag, "OnListNotify called action = {}", Generics::Collections::NotificationName(AAction));
    log.DebugFmt(FTag, "FNotifyDelegate =  {}", BoolText(true));
    FNotifyDelegate.Notify(static_cast<const TDelegatedObjectList*>(this), AItem, AAction);
  }

  // One text per item class, shared: every alert holds a list of its own.
  static const std::string& ListTag() {
    static const std::string tag = "TDelegatedObjectList<" + std::string(T::TypeName) + ">";
    return tag;
  }

  const std::string& FTag;
  bool FDoNotifyInClear = false;
  bool FInClear = false;
  TItems FItems;
  TCollectionNotifyEventDelegate<T> FNotifyDelegate;
};

}  // namespace ZEL
