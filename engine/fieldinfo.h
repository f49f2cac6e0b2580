// Layouts of a data file before it is created: the fields and the index
// tags. Both arrays end with a zeroed entry, as data_create expects, and can
// be copied from an open file to upgrade an older layout.
#pragma once

#include "engine/data.h"

// Live FieldInfoList and TagInfoList objects together.
int info_lists_live();

class FieldInfoList {
 public:
  explicit FieldInfoList(DB_ENGINE* context);
  explicit FieldInfoList(DbDataFile* data);
  ~FieldInfoList();
  FieldInfoList(const FieldInfoList&) = delete;
  FieldInfoList& operator=(const FieldInfoList&) = delete;

  int add(const char* name, int type, unsigned len, unsigned decimals);
  int add(DbField* field);
  int del(const char* name);
  int delAt(int index);

  const DbFieldInfo* fields() const { return entries_ ? entries_ : &kEnd; }
  const DbFieldInfo& operator[](int i) const { return entries_[i]; }
  int count() const { return count_; }

 private:
  static constexpr DbFieldInfo kEnd{};
  DB_ENGINE* context_;
  DbFieldInfo* entries_ = nullptr;
  int count_ = 0;
  unsigned capacity_ = 0;  // bytes
};

class TagInfoList {
 public:
  explicit TagInfoList(DB_ENGINE* context);
  explicit TagInfoList(DbDataFile* data);
  ~TagInfoList();
  TagInfoList(const TagInfoList&) = delete;
  TagInfoList& operator=(const TagInfoList&) = delete;

  int add(const char* name, const char* expression, const char* filter = nullptr,
          int unique = 0, int descending = 0);
  int del(const char* name);
  int delAt(int index);

  const DbTagInfo* tags() const { return entries_ ? entries_ : &kEnd; }
  const DbTagInfo& operator[](int i) const { return entries_[i]; }
  int count() const { return count_; }

 private:
  static constexpr DbTagInfo kEnd{};
  DB_ENGINE* context_;
  DbTagInfo* entries_ = nullptr;
  int count_ = 0;
  unsigned capacity_ = 0;  // bytes
};
