// Stores that wrap a real one for query tests: one counts how a query reads the store, one
// hides the indexes (so the same sentence can be run with and without them), one fails its
// writes after a while (to show that a failed run leaves nothing behind).
#pragma once

#include "db/status.h"
#include "db/store.h"

namespace cortevane::db::testing_stores {

// Forwards every call to `inner`.
class ForwardingStore : public Store {
 public:
  explicit ForwardingStore(Store& inner) : inner_(inner) {}

  int Read(std::string_view f, std::string_view k, std::string* r) override {
    return inner_.Read(f, k, r);
  }
  int Write(std::string_view f, std::string_view k, std::string_view r) override {
    return inner_.Write(f, k, r);
  }
  int Delete(std::string_view f, std::string_view k) override { return inner_.Delete(f, k); }
  int Clear(std::string_view f) override { return inner_.Clear(f); }
  int Scan(std::string_view f,
           const std::function<bool(std::string_view, std::string_view)>& v) override {
    return inner_.Scan(f, v);
  }
  int IndexLookup(std::string_view f, std::string_view i, std::string_view v, bool p,
                  std::vector<std::string>* k) override {
    return inner_.IndexLookup(f, i, v, p, k);
  }
  int PrefixScan(std::string_view f, const std::vector<std::string>& p,
                 const std::function<bool(std::string_view, std::string_view)>& v) override {
    return inner_.PrefixScan(f, p, v);
  }
  int CountRecords(std::string_view f, long long* c) override { return inner_.CountRecords(f, c); }
  int Reserve(std::string_view f, std::string_view k, int t) override {
    return inner_.Reserve(f, k, t);
  }
  int Free(std::string_view f, std::string_view k) override { return inner_.Free(f, k); }
  int Begin() override { return inner_.Begin(); }
  int Commit() override { return inner_.Commit(); }
  int Rollback() override { return inner_.Rollback(); }
  bool FileExists(std::string_view f) override { return inner_.FileExists(f); }
  int CreateFile(std::string_view f) override { return inner_.CreateFile(f); }
  int DropFile(std::string_view f) override { return inner_.DropFile(f); }
  int ListFiles(std::vector<std::string>* f) override { return inner_.ListFiles(f); }
  int SetDictItem(std::string_view f, const DictItem& i) override {
    return inner_.SetDictItem(f, i);
  }
  int Dictionary(std::string_view f, std::vector<DictItem>* items) override {
    return inner_.Dictionary(f, items);
  }
  int SetPointer(std::string_view n, const PointerTarget& t) override {
    return inner_.SetPointer(n, t);
  }
  std::optional<PointerTarget> Pointer(std::string_view n) override { return inner_.Pointer(n); }
  int CatalogueRoutine(std::string_view r) override { return inner_.CatalogueRoutine(r); }
  bool RoutineCatalogued(std::string_view r) override { return inner_.RoutineCatalogued(r); }

 protected:
  Store& inner_;
};

// Counts scans, index lookups, record reads (ReadMany goes through Read), and the key ranges
// asked and records they gave.
class CountingStore : public ForwardingStore {
 public:
  using ForwardingStore::ForwardingStore;
  int scans = 0, lookups = 0, reads = 0, ranges = 0, ranged = 0;

  int PrefixScan(std::string_view f, const std::vector<std::string>& p,
                 const std::function<bool(std::string_view, std::string_view)>& v) override {
    ranges += static_cast<int>(p.size());
    return inner_.PrefixScan(f, p, [&](std::string_view key, std::string_view record) {
      ++ranged;
      return v(key, record);
    });
  }

  int Read(std::string_view f, std::string_view k, std::string* r) override {
    ++reads;
    return inner_.Read(f, k, r);
  }
  int Scan(std::string_view f,
           const std::function<bool(std::string_view, std::string_view)>& v) override {
    ++scans;
    return inner_.Scan(f, v);
  }
  int IndexLookup(std::string_view f, std::string_view i, std::string_view v, bool p,
                  std::vector<std::string>* k) override {
    ++lookups;
    return inner_.IndexLookup(f, i, v, p, k);
  }
};

// The same dictionaries with every index hidden, and key ranges read as whole files:
// queries read whole files.
class UnindexedStore : public ForwardingStore {
 public:
  using ForwardingStore::ForwardingStore;
  int PrefixScan(std::string_view f, const std::vector<std::string>& p,
                 const std::function<bool(std::string_view, std::string_view)>& v) override {
    return Store::PrefixScan(f, p, v);
  }
  int Dictionary(std::string_view f, std::vector<DictItem>* items) override {
    int s = inner_.Dictionary(f, items);
    for (DictItem& i : *items) i.indexed = false;
    return s;
  }
};

// Writes succeed `writes_left` times, then fail with kIoError.
class FailingStore : public ForwardingStore {
 public:
  FailingStore(Store& inner, int writes_left) : ForwardingStore(inner), left_(writes_left) {}
  int Write(std::string_view f, std::string_view k, std::string_view r) override {
    if (left_-- <= 0) return kIoError;
    return inner_.Write(f, k, r);
  }

 private:
  int left_;
};

}  // namespace cortevane::db::testing_stores
