// An intrusive doubly linked list with two sentinel nodes (value -1). A walk
// runs from head->next while node->next is not null.
#pragma once

namespace morpotta {

struct ListNode {
    int value;
    void* data;
    ListNode* prev;
    ListNode* next;
};

int InitLinkedList(ListNode* head, ListNode* tail);
// Inserts node after position (after the head: at the front).
int InsertListNode(ListNode* position, ListNode* node, int value, void* data);
int RemoveListNode(ListNode* node);

}  // namespace morpotta
