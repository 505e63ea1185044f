// Case-insensitive keyed stores: key to item (a task's attributes and its decision
// point) and key to text.
#pragma once

#include <cstdio>
#include <string>

#include "foundation/list.h"

class Association {
 public:
  Association() = default;
  Association(const std::string& key, void* item) : key(key), item(item) {}
  const std::string& return_key() const { return key; }
  void* return_item() const { return item; }
  void print(FILE* stream);

  std::string key = "empty_association_key";
  void* item = nullptr;
  // The association lists holding it as theirs; the last one to let it go frees it.
  int holders = 0;
};

class AssociationList : public List {
 public:
  AssociationList() : List(LIST_UNORDERED) {}

  long add(const std::string& key, void* item);
  void* operator[](const std::string& key);
  Association* get_association_at(const std::string& key);
  Association* get_association_at(long i);
  Association* get_association_at(int i) { return get_association_at(static_cast<long>(i)); }
  void print(FILE* stream);
  // Shares the other list's associations; those it made stay alive until both lists
  // have let them go. (Through a plain List the items are only borrowed.)
  using List::append_list_not_copy_items;
  long append_list_not_copy_items(AssociationList* other);
  // Empties the list, freeing the associations it made once no other list holds them;
  // the items are never freed.
  void delete_list(int free);

 protected:
  long index_of_key(const std::string& key);
};

class StringAssociation {
 public:
  StringAssociation() = default;
  StringAssociation(const std::string& key, char* item) : key(key), item(item) {}
  const std::string& return_key() const { return key; }
  char* return_item() const { return item; }
  void print(FILE* stream);

  std::string key = "empty_association_key";
  char* item = nullptr;
};

void string_association_delete_function(void* association);

class StringAssociationList : public List {
 public:
  StringAssociationList() : List(LIST_UNORDERED) {}
  long add(const std::string& key, char* text);
  char* operator[](const std::string& key);
  StringAssociation* get_association_at(const std::string& key);
  StringAssociation* get_association_at(long i);
  StringAssociation* get_association_at(int i) { return get_association_at(static_cast<long>(i)); }
  void string_print(FILE* stream);
  // As AssociationList::print: "Association list: " and each entry's print.
  void print(FILE* stream);
  // With free = 1 destroys the associations (never their texts); otherwise only unlinks them.
  void delete_list(int free);
};
