// Placeholder translation unit for a module whose sources have not landed.
namespace lumetra { namespace { [[maybe_unused]] const int kEmptyModule = 0; } }
