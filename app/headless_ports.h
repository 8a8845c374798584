// The ports of a session without a desktop: a clipboard that holds no text
// and cannot be opened, an editor whose window never exists, no dialog.
#pragma once

#include "app/ports.h"

namespace morvel {

class CHeadlessClipboard final : public IClipboardPort {
public:
    bool Available() const override { return false; }
    bool Open(uint32_t) override { return false; }
    void Close() override {}
    bool Empty() override { return false; }
    bool IsFormatAvailable(uint32_t) override { return false; }
    bool GetData(uint32_t, std::vector<uint8_t>&) override { return false; }
    bool SetData(uint32_t, const std::vector<uint8_t>&) override { return false; }
    std::string LastErrorText() override { return {}; }
};

class CHeadlessEditor final : public IEditorPort {
public:
    bool IsWindow(uint32_t) override { return false; }
    void SendCommand(uint32_t, int) override {}
};

class CHeadlessDialog final : public IDialogPort {
public:
    bool Available() const override { return false; }
    int RunDialog(ConversionRequest&) override { return IDCANCEL; }
};

}  // namespace morvel
