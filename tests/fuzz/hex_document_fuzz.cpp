// Random operation sequences on a document over memory, checked step by step against the
// byte-vector model: content, marks, length, merge state, undo history and piece structure.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/virtual_memory.h"
#include "tests/native/support/hex_document_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    hexmodel::Input in(data, size);
    // The original: empty, or up to 1 KiB of pattern.
    std::vector<std::uint8_t> original(in.Below(1025));
    for (std::size_t i = 0; i < original.size(); ++i)
        original[i] = static_cast<std::uint8_t>(i * 13);
    void* block = original.empty() ? nullptr : AllocateMemory(original.size());
    if (block != nullptr) std::memcpy(block, original.data(), original.size());

    HexDocument doc;
    if (!HexDocOpen(doc, kNoFile, block, static_cast<std::uint32_t>(original.size()),
                    false)) {
        return 0;
    }
    hexmodel::Model model = hexmodel::ModelOver(original, false);
    hexmodel::Limits limits;
    limits.maxCount = 16;
    limits.bigCount = 512;
    for (int step = 0; !in.Done() && step < 2000; ++step) {
        std::string failure = hexmodel::Step(doc, model, in, limits);
        if (!failure.empty()) {
            std::fprintf(stderr, "step %d: %s\n", step, failure.c_str());
            std::abort();
        }
    }
    return 0;
}
