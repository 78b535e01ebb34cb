// The shared library's own translation unit: everything else comes from the
// module archives linked whole into it.
namespace lumetra {
extern const char kLibraryIdent[];
const char kLibraryIdent[] = "liblumetra 41.04";
}  // namespace lumetra
