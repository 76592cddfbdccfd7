// For tests and fuzz targets: the node store behind a list, read without touching its cursor.
#pragma once

#include "list/ordered_list_store.h"
#include "narwick/list/ordered_linked_list.h"

namespace narwick {

class OrderedLinkedListPeer {
 public:
  static list::OrderedListStore& Store(clsOrderedLinkedList& l) { return *l.store_; }
};

}  // namespace narwick
