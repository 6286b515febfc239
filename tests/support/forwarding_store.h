// A store that hands every call to another one. Tests derive from it and override the few
// calls where they count, delay or inject a failure.
#pragma once

#include <memory>
#include <utility>

#include "db/store.h"

namespace cortevane::test_support {

class ForwardingStore : public db::Store {
 public:
  explicit ForwardingStore(std::shared_ptr<db::Store> inner) : inner_(std::move(inner)) {}

  int Read(std::string_view f, std::string_view k, std::string* r) override {
    return inner_->Read(f, k, r);
  }
  int Write(std::string_view f, std::string_view k, std::string_view r) override {
    return inner_->Write(f, k, r);
  }
  int Delete(std::string_view f, std::string_view k) override { return inner_->Delete(f, k); }
  int Clear(std::string_view f) override { return inner_->Clear(f); }
  int Scan(std::string_view f,
           const std::function<bool(std::string_view, std::string_view)>& v) override {
    return inner_->Scan(f, v);
  }
  int IndexLookup(std::string_view f, std::string_view i, std::string_view v, bool p,
                  std::vector<std::string>* k) override {
    return inner_->IndexLookup(f, i, v, p, k);
  }
  int ReadMany(std::string_view f, const std::vector<std::string>& k,
               const std::function<bool(std::string_view, std::string_view)>& v) override {
    return inner_->ReadMany(f, k, v);
  }
  int IndexLookupAny(std::string_view f, std::string_view i, const std::vector<std::string>& v,
                     bool p, std::vector<std::string>* k) override {
    return inner_->IndexLookupAny(f, i, v, p, k);
  }
  int IndexScan(std::string_view f, std::string_view i, std::string_view v, bool p,
                const std::function<bool(std::string_view, std::string_view)>& visit) override {
    return inner_->IndexScan(f, i, v, p, visit);
  }
  int IndexScanAny(std::string_view f, std::string_view i, const std::vector<std::string>& v,
                   bool p,
                   const std::function<bool(std::string_view, std::string_view)>& visit) override {
    return inner_->IndexScanAny(f, i, v, p, visit);
  }
  int PrefixScan(std::string_view f, const std::vector<std::string>& p,
                 const std::function<bool(std::string_view, std::string_view)>& v) override {
    return inner_->PrefixScan(f, p, v);
  }
  int CountRecords(std::string_view f, long long* c) override { return inner_->CountRecords(f, c); }
  int BeginSelection(std::string_view f, std::vector<db::DictItem>* i) override {
    return inner_->BeginSelection(f, i);
  }
  void EndSelection() override { inner_->EndSelection(); }
  int Reserve(std::string_view f, std::string_view k, int t) override {
    return inner_->Reserve(f, k, t);
  }
  int Free(std::string_view f, std::string_view k) override { return inner_->Free(f, k); }
  bool Holds(std::string_view f, std::string_view k) override { return inner_->Holds(f, k); }
  int Begin() override { return inner_->Begin(); }
  int Commit() override { return inner_->Commit(); }
  int Rollback() override { return inner_->Rollback(); }
  bool FileExists(std::string_view f) override { return inner_->FileExists(f); }
  int CreateFile(std::string_view f) override { return inner_->CreateFile(f); }
  int DropFile(std::string_view f) override { return inner_->DropFile(f); }
  int ListFiles(std::vector<std::string>* f) override { return inner_->ListFiles(f); }
  int SetDictItem(std::string_view f, const db::DictItem& i) override {
    return inner_->SetDictItem(f, i);
  }
  int Dictionary(std::string_view f, std::vector<db::DictItem>* i) override {
    return inner_->Dictionary(f, i);
  }
  int SetPointer(std::string_view n, const db::PointerTarget& t) override {
    return inner_->SetPointer(n, t);
  }
  std::optional<db::PointerTarget> Pointer(std::string_view n) override {
    return inner_->Pointer(n);
  }
  int CatalogueRoutine(std::string_view r) override { return inner_->CatalogueRoutine(r); }
  bool RoutineCatalogued(std::string_view r) override { return inner_->RoutineCatalogued(r); }
  int Health() override { return inner_->Health(); }
  int Reconnect() override { return inner_->Reconnect(); }
  std::string ServerAddress() const override { return inner_->ServerAddress(); }
  bool ServerAuthenticated() const override { return inner_->ServerAuthenticated(); }

 protected:
  const std::shared_ptr<db::Store>& inner() const { return inner_; }

 private:
  std::shared_ptr<db::Store> inner_;
};

}  // namespace cortevane::test_support
