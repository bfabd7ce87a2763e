// DynamicPtrArrayClass<T>: a list of records held by pointer.
//
// The list stores pointers only. Delete() destroys the object whose pointer
// it removes; nothing else does: resizing and destroying the list release only
// the pointer array, so whoever fills a list deletes what is still in it.
// At() clamps its index into LowIndex()..HighIndex(); on an empty list it
// throws DynArrayOutOfRange.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

class DynArrayOutOfRange : public std::out_of_range {
public:
  DynArrayOutOfRange(int index, int count)
      : std::out_of_range("index " + std::to_string(index) + " out of range, count " + std::to_string(count)),
        index(index), count(count) {}
  int index;
  int count;
};

// The plain pointer array beneath the list: shared storage whose element
// count travels with it; an empty array holds no storage at all.
template <typename T> class DynamicArray {
public:
  int Length() const { return count; }
  void SetLength(int n) {
    if (n <= 0) {
      items.reset();
      count = 0;
      return;
    }
    std::shared_ptr<T[]> fresh(new T[n]());
    for (int i = 0; i < n && i < count; ++i)
      fresh[i] = items[i];
    items = std::move(fresh);
    count = n;
  }
  T &operator[](int i) { return items[i]; }
  const T &operator[](int i) const { return items[i]; }

private:
  std::shared_ptr<T[]> items;
  int count = 0;
};

template <typename T> class DynamicPtrArrayClass {
public:
  DynamicPtrArrayClass() = default;
  DynamicPtrArrayClass(const DynamicPtrArrayClass &) = delete;
  DynamicPtrArrayClass &operator=(const DynamicPtrArrayClass &) = delete;
  ~DynamicPtrArrayClass() { Resize(0); }

  int Count() const { return items.Length(); }
  int LowIndex() const { return 0; }
  int HighIndex() const { return Count() > 0 ? Count() - 1 : 0; }
  void Resize(int n) { items.SetLength(n); }

  T *&At(int index) {
    int clamped = index < LowIndex() ? LowIndex() : (index > HighIndex() ? HighIndex() : index);
    if (Count() == 0)
      throw DynArrayOutOfRange(index, Count());
    return items[clamped];
  }

  void Add(T *item) {
    Resize(Count() + 1);
    items[HighIndex()] = item;
  }

  void Delete(int index) {
    if (Count() == 0 || index < LowIndex() || index > HighIndex())
      return;
    delete items[index];
    for (int i = index; i < Count() - 1; ++i)
      items[i] = items[i + 1];
    Resize(Count() - 1);
  }

  // Destroys every element and empties the list (owners call it at the end).
  void DeleteAll() {
    while (Count() > 0)
      Delete(HighIndex());
  }

private:
  DynamicArray<T *> items;
};
