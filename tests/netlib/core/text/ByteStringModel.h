#pragma once
// Drives a ByteString and a std::string through the same operations, decoded
// from a byte stream, and reports the first difference. Shared by the model
// test (seeded random streams) and the fuzzer (mutated streams).
#include <cstdint>
#include <cstring>
#include <string>

#include "core/text/ByteString.h"

namespace coretest {

class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Done() const { return pos_ >= size_; }
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  int Small(int limit) { return static_cast<int>((Byte() | (Byte() << 8)) % static_cast<unsigned>(limit)); }
  std::string Bytes(int n) {
    std::string out;
    while (n-- > 0 && !Done()) out.push_back(static_cast<char>(Byte()));
    return out;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

inline std::string ModelTrim(const std::string& s) {
  size_t front = 0, back = s.size();
  while (front < back && static_cast<unsigned char>(s[front]) <= 0x20) ++front;
  while (back > front && static_cast<unsigned char>(s[back - 1]) <= 0x20) --back;
  return s.substr(front, back - front);
}

inline std::string ModelReplace(const std::string& s, const std::string& pattern, const std::string& with) {
  if (pattern.empty() || pattern.size() > s.size()) return s;
  std::string out;
  size_t from = 0;
  for (size_t hit = s.find(pattern); hit != std::string::npos; hit = s.find(pattern, from)) {
    out.append(s, from, hit - from);
    out += with;
    from = hit + pattern.size();
  }
  out.append(s, from, std::string::npos);
  return out;
}

// Returns an empty string when both sides agree after every step, else a description.
inline std::string RunByteStringModel(const uint8_t* data, size_t size) {
  using tornell::ByteString;
  ByteReader in(data, size);
  ByteString ours;
  std::string model;
  int step = 0;
  while (!in.Done()) {
    const int op = in.Byte() % 17;
    int status = 0;
    int expectStatus = 0;
    switch (op) {
      case 0: {
        std::string b = in.Bytes(in.Small(120));
        status = ours.Set(b.data(), static_cast<int>(b.size()));
        model = b;
        break;
      }
      case 1: {
        std::string b = in.Bytes(in.Small(120));
        status = ours.Append(b.data(), static_cast<long>(b.size()));
        model += b;
        break;
      }
      case 2: {
        char c = static_cast<char>(in.Byte());
        status = ours.AppendByte(c);
        model.push_back(c);
        break;
      }
      case 3: {
        int n = in.Small(400);
        char c = static_cast<char>(in.Byte());
        status = ours.AppendRepeated(n, c);
        model.append(static_cast<size_t>(n), c);
        break;
      }
      case 4: {
        int n = in.Small(300) - 5;
        status = ours.EraseFront(n);
        if (n > 0) model.erase(0, static_cast<size_t>(n));
        break;
      }
      case 5: {
        int start = in.Small(300) - 3;
        int end = in.Small(300) - 3;
        status = ours.Substring(start, end);
        int len = static_cast<int>(model.size());
        if (start < 0 || end < 0 || start >= len) {
          expectStatus = 432;
        } else {
          int stop = end < len ? end : len;
          model = stop > start ? model.substr(static_cast<size_t>(start), static_cast<size_t>(stop - start)) : "";
        }
        break;
      }
      case 6: {
        int n = in.Small(static_cast<int>(model.size()) + 300);
        status = ours.Resize(n);
        model.resize(static_cast<size_t>(n), '\0');
        break;
      }
      case 7: {
        int n = in.Small(500);
        status = ours.SetLength(n);
        model.resize(static_cast<size_t>(n), '\0');
        break;
      }
      case 8:
        status = ours.DropLast();
        if (!model.empty()) model.pop_back();
        break;
      case 9:
        status = ours.Trim();
        model = ModelTrim(model);
        break;
      case 10: {
        char c = static_cast<char>(in.Byte() % 4 == 0 ? ' ' : 'a' + in.Byte() % 3);
        if (c == '\0') c = ' ';
        status = ours.TrimChar(c);
        size_t front = model.find_first_not_of(c);
        model = front == std::string::npos ? "" : model.substr(front);
        while (!model.empty() && model.back() == c) model.pop_back();
        break;
      }
      case 11: {
        std::string pattern = in.Bytes(1 + in.Small(3));
        std::string with = in.Bytes(in.Small(5));
        status = ours.ReplaceAll(pattern.data(), static_cast<int>(pattern.size()), with.data(),
                                 static_cast<int>(with.size()));
        model = ModelReplace(model, pattern, with);
        break;
      }
      case 12: {
        std::string needle = in.Bytes(1 + in.Small(3));
        int start = in.Small(300);
        if (needle.empty()) break;  // the stream ran out
        size_t hit = model.find(needle, static_cast<size_t>(start));
        int want = hit == std::string::npos ? -1 : static_cast<int>(hit);
        int got = ours.FindBytes(needle.data(), static_cast<int>(needle.size()), start);
        if (got != want) return "FindBytes differs at step " + std::to_string(step);
        size_t chit = model.find(needle[0], static_cast<size_t>(start));
        if (ours.Find(needle[0], start) != (chit == std::string::npos ? -1 : static_cast<int>(chit)))
          return "Find(char) differs at step " + std::to_string(step);
        break;
      }
      case 13:
        if (in.Byte() & 1) {
          status = ours.ToUpper();
          for (char& c : model) if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        } else {
          status = ours.ToLower();
          for (char& c : model) if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        }
        break;
      case 14:
        status = ours.Clear();
        model.clear();
        break;
      case 15: {
        // A piece of the string's own content appended to itself.
        int len = ours.Length();
        int from = len == 0 ? 0 : in.Small(len);
        int n = len - from;
        status = ours.Append(ours.Data() + from, n);
        if (n > 0) model += model.substr(static_cast<size_t>(from));
        break;
      }
      default: {
        ByteString copy;
        status = copy.Assign(ours);
        if (status == 0) status = ours.Append(copy);
        model += model;
        break;
      }
    }
    if (status != expectStatus) {
      return "op " + std::to_string(op) + " status " + std::to_string(status) + " at step " + std::to_string(step);
    }
    if (ours.Length() != static_cast<int>(model.size()) ||
        std::memcmp(ours.Data(), model.data(), model.size()) != 0) {
      return "content differs after op " + std::to_string(op) + " at step " + std::to_string(step);
    }
    if (ours.Data()[ours.Length()] != '\0') return "missing terminator at step " + std::to_string(step);
    if (ours.Length() > ours.Capacity()) return "length passes capacity at step " + std::to_string(step);
    ++step;
    if (model.size() > (1u << 20)) {  // keep doubling bounded
      ours.Clear();
      model.clear();
    }
  }
  return "";
}

}  // namespace coretest
