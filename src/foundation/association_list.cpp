#include "foundation/association_list.h"

#include <strings.h>

#include "foundation/system_wrappers.h"
#include "foundation/tagged_new.h"

namespace {
OnceOnlyFlag association_list_leak_notice;

bool same_key(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

void association_claim_function(void* association) { static_cast<Association*>(association)->holders++; }

void association_release_function(void* association) {
  Association* held = static_cast<Association*>(association);
  if (--held->holders == 0) delete held;
}

void print_association_entry(FILE* stream, const std::string& key, bool has_item) {
  fprintf(stream, "(%s ", key.c_str());
  fprintf(stream, has_item ? " not null) " : " null) ");
}
}  // namespace

void Association::print(FILE* stream) { print_association_entry(stream, key, item != nullptr); }

void StringAssociation::print(FILE* stream) { print_association_entry(stream, key, item != nullptr); }

long AssociationList::index_of_key(const std::string& key) {
  for (long i = 0; i < length(); i++) {
    if (same_key(static_cast<Association*>(List::get(i))->key, key)) return i;
  }
  return -1;
}

long AssociationList::add(const std::string& key, void* item) {
  long i = index_of_key(key);
  if (i >= 0) {
    Association* existing = get_association_at(i);
    existing->item = item;
    existing->key = key;
    return i;
  }
  Association* made = new ("AssociationList") Association(key, item);
  made->holders = 1;
  return append_owned(made, association_release_function);
}

long AssociationList::append_list_not_copy_items(AssociationList* other) {
  return append_list_sharing_owned_items(other, association_claim_function);
}

void* AssociationList::operator[](const std::string& key) {
  Association* association = get_association_at(key);
  return association != nullptr ? association->item : nullptr;
}

Association* AssociationList::get_association_at(const std::string& key) {
  long i = index_of_key(key);
  return i >= 0 ? get_association_at(i) : nullptr;
}

Association* AssociationList::get_association_at(long i) {
  move_to_exit_on_error(i, "AssociationList access function");
  return static_cast<Association*>(return_item_of_current());
}

void AssociationList::print(FILE* stream) {
  fprintf(stream, "Association list: ");
  for (long i = 0; i < length(); i++) get_association_at(i)->print(stream);
}

void AssociationList::delete_list(int free) {
  // Only the associations this list holds as its own are released, whatever the flag.
  List::delete_list(0, nullptr);
  if (free != 0 && association_list_leak_notice.first_time()) print_leak_warning(stderr, "AssociationList");
}

void string_association_delete_function(void* association) {
  delete static_cast<StringAssociation*>(association);
}

long StringAssociationList::add(const std::string& key, char* text) {
  for (long i = 0; i < length(); i++) {
    StringAssociation* existing = get_association_at(i);
    if (same_key(existing->key, key)) {
      existing->item = text;
      existing->key = key;
      return i;
    }
  }
  return List::append(new ("AssociationList") StringAssociation(key, text));
}

char* StringAssociationList::operator[](const std::string& key) {
  StringAssociation* association = get_association_at(key);
  return association != nullptr ? association->item : nullptr;
}

StringAssociation* StringAssociationList::get_association_at(const std::string& key) {
  for (long i = 0; i < length(); i++) {
    StringAssociation* association = get_association_at(i);
    if (same_key(association->key, key)) return association;
  }
  return nullptr;
}

StringAssociation* StringAssociationList::get_association_at(long i) {
  move_to_exit_on_error(i, "AssociationList access function");
  return static_cast<StringAssociation*>(return_item_of_current());
}

void StringAssociationList::string_print(FILE* stream) {
  fprintf(stream, "String association list: ");
  for (long i = 0; i < length(); i++) {
    StringAssociation* association = get_association_at(i);
    fprintf(stream, "(|%s| |%s|) ", association->key.c_str(), association->item ? association->item : "(null)");
  }
  fprintf(stream, "\n");
}

void StringAssociationList::delete_list(int free) {
  // Without free the entries only leave the list: the reader moves a form's pending
  // attributes into a task this way, and the task then owns them. The texts are never freed.
  List::delete_list(free == 1 ? 1 : 0, string_association_delete_function);
}

void StringAssociationList::print(FILE* stream) {
  fprintf(stream, "Association list: ");
  for (long i = 0; i < length(); i++) get_association_at(i)->print(stream);
}
