#include "foundation/string_list.h"

#include <strings.h>

#include <cstring>

#include "foundation/system_wrappers.h"
#include "foundation/tagged_new.h"

namespace {
OnceOnlyFlag string_list_leak_notice;

void string_copy_delete_function(void* text) { delete static_cast<std::string*>(text); }

int fold(int result) { return result < 0 ? -1 : (result > 0 ? 1 : 0); }
}  // namespace

int string_compare(const void* a, const void* b) {
  return fold(strcmp(static_cast<const std::string*>(a)->c_str(), static_cast<const std::string*>(b)->c_str()));
}

int no_case_string_compare(const void* a, const void* b) {
  return fold(
      strcasecmp(static_cast<const std::string*>(a)->c_str(), static_cast<const std::string*>(b)->c_str()));
}

int long_compare(const void* a, const void* b) {
  long x = *static_cast<const long*>(a);
  long y = *static_cast<const long*>(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

void long_print(FILE* stream, void* item) { fprintf(stream, "%ld ", *static_cast<long*>(item)); }

StringList::StringList(ListDirection direction, int case_sensitive)
    : List(direction), is_case_sensitive(case_sensitive) {}

StringList::StringList(ListDirection direction, int case_sensitive, const char* label)
    : List(direction, label), is_case_sensitive(case_sensitive) {}

std::string* StringList::make_copy(const std::string& text) {
  std::string* copy = new ("StringList") std::string(text);
  did_do_dynamic = 1;
  return copy;
}

long StringList::append(const std::string& text) { return append_owned(make_copy(text), string_copy_delete_function); }

long StringList::insert(const std::string& text) { return insert_owned(make_copy(text), string_copy_delete_function); }

long StringList::insert_in_order(std::string* text) {
  return List::insert_in_order(text, is_case_sensitive == 1 ? string_compare : no_case_string_compare);
}

long StringList::insert_in_order(const std::string& text) {
  return insert_in_order_owned(make_copy(text), is_case_sensitive == 1 ? string_compare : no_case_string_compare,
                               string_copy_delete_function);
}

int StringList::in_list(const std::string& text) {
  for (long i = 0; i < length(); i++) {
    std::string* item = get(i);
    if (item != nullptr && *item == text) return 1;
  }
  return 0;
}

int NoCaseUnorderedStringList::in_list(const std::string& text) {
  for (long i = 0; i < length(); i++) {
    std::string* item = get(i);
    if (item != nullptr && strcasecmp(item->c_str(), text.c_str()) == 0) return 1;
  }
  return 0;
}

void StringList::simple_print(FILE* stream) {
  for (long i = 0; i < length(); i++) fprintf(stream, "%s ", get(i)->c_str());
  fprintf(stream, "\n");
}

void StringList::delete_list(int free) {
  if (did_do_dynamic == 1 && free == 0 && !is_experienced_client() && length() != 0) {
    fprintf(stderr, "%s%s%s%s%s%s%s%s", "\n\nWarning - list members were added by replication ",
            "and you have called delete list w/o freeing ", "those members.  This causes a memory leak. ",
            "Note: mixing replication & reference insertion ", "is NOT recommended because it is impossible ",
            "to determine what nodes to free and what not to free.", "(This last statement does not indicate that ",
            "you have been doing so.)\n\a\n");
    fflush(stderr);
  }
  List::delete_list(0, nullptr);
  if (string_list_leak_notice.first_time()) print_leak_warning(stderr, "StringList::delete_list");
}

void IntList::simple_print(FILE* stream) {
  for (long i = 0; i < length(); i++) fprintf(stream, "%ld ", *(*this)[i]);
  fprintf(stream, "\n");
}
