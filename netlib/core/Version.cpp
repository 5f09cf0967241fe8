// Anchors the library target until its first subsystem lands.
namespace tornell {
const char* LibraryName() { return "libtornell"; }
}
