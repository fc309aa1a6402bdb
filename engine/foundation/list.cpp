// Intrusive doubly linked list between two sentinels. The sentinels stay
// put: nothing is inserted after the tail and neither can be removed, so a
// walk from head->next to the node whose next is null always ends.
#include "foundation/list.h"

namespace morpotta {

int InitLinkedList(ListNode* head, ListNode* tail) {
    if (!head || !tail || head == tail) return -1;
    head->value = tail->value = -1;
    head->data = tail->data = nullptr;
    head->prev = nullptr;
    head->next = tail;
    tail->prev = head;
    tail->next = nullptr;
    return 0;
}

int InsertListNode(ListNode* position, ListNode* node, int value, void* data) {
    if (!position || !node || node == position || !position->next) return -1;
    node->value = value;
    node->data = data;
    node->prev = position;
    node->next = position->next;
    position->next->prev = node;
    position->next = node;
    return 0;
}

int RemoveListNode(ListNode* node) {
    if (!node || !node->prev || !node->next) return -1;
    node->prev->next = node->next;
    node->next->prev = node->prev;
    node->prev = node->next = nullptr;
    return 0;
}

}  // namespace morpotta
