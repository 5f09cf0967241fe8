#pragma once
// Copying the records' owned lists: the certificate and CMS records share it.
#include <new>

#include "core/base/Status.h"
#include "core/buffer/PtrList.h"

namespace tornell::pki::detail {

// A default record filled by CopyFrom; the copy's status is not reported.
template <typename T>
T* CloneOf(const T& from) {
  T* copy = new (std::nothrow) T();
  if (copy != nullptr) (void)copy->CopyFrom(from);
  return copy;
}

// Clones of the source entries inserted at 0..n-1.
template <typename T>
int InsertClones(PtrList<T>& to, const PtrList<T>& from) {
  auto& source = const_cast<PtrList<T>&>(from);
  for (int i = 0; i < source.Count(); ++i) {
    const T* element = source.Get(i);
    if (element == nullptr) return kStatusNoMemory;
    TORNELL_TRY(to.InsertCopy(i, element));
  }
  return kStatusOk;
}

}  // namespace tornell::pki::detail
