#include <cstring>

#include "Driver.h"

namespace sarnvale {

void CopyBounded(char* destination, int capacity, const char* source) {
  if (destination == nullptr || capacity <= 0) return;
  int length = 0;
  if (source != nullptr) {
    while (length < capacity - 1 && source[length] != '\0') ++length;
    memcpy(destination, source, static_cast<size_t>(length));
  }
  destination[length] = '\0';
}

int ReplaceFileName(char* path, const char* fileName, int capacity) {
  if (path == nullptr || capacity < 0) return -1;
  if (capacity == 0) return 0;
  int start = 0;
  for (int i = 0; i < capacity && path[i] != '\0'; ++i) {
    if (path[i] == '/') start = i + 1;
  }
  if (start >= capacity) start = capacity - 1;
  CopyBounded(path + start, capacity - start, fileName);
  return 0;
}

int InsertBounded(char* buffer, int capacity, int position, const char* text) {
  if (buffer == nullptr || text == nullptr || capacity <= 0) return 0;
  const int length = static_cast<int>(strnlen(buffer, static_cast<size_t>(capacity - 1)));
  // Inserting past the end of the text would expose whatever lies behind its NUL.
  if (position < 0 || position > length) return 0;
  const int room = capacity - position - 1;
  const int textLength = static_cast<int>(strnlen(text, static_cast<size_t>(room)));
  const int tailRoom = room - textLength;
  const int tailLength = length - position < tailRoom ? length - position : tailRoom;
  memmove(buffer + position + textLength, buffer + position, static_cast<size_t>(tailLength));
  memcpy(buffer + position, text, static_cast<size_t>(textLength));
  buffer[position + textLength + tailLength] = '\0';
  buffer[capacity - 1] = '\0';
  return 0;
}

}  // namespace sarnvale
