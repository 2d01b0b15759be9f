// A whole session against a camera made of fuzz input. On every input the session must return, close its
// socket exactly once, leave Start and Exit enabled, and send only a prefix of credentials, header and image,
// in that order, with nothing after the image.
#include "FuzzCamera.h"
#include "UpgradeSession.h"

#include <cstdlib>
#include <memory>

namespace {

class CheckingFrontEnd : public UpgradeDialogOps {
public:
    CheckingFrontEnd(UpgradeInputs inputs, FuzzInput& input) : m_inputs(std::move(inputs)), m_input(input) {}

    UpgradeInputs LoadInputs() override { return m_inputs; }
    void SetStatusText(const std::string&) override {}
    void ShowMembers() override {}
    void SetProgressRange(std::uint32_t) override {}
    void SetProgressPos(std::uint32_t) override {}
    void EnableButtons(bool enable) override { buttonsDisabled = !enable; }
    void FinishUpgrade() override { buttonsDisabled = false; }
    void ShowMessage(const std::string&) override {}
    // The front end's count may stand anywhere, the tenth refusal included.
    int CountRefusedLogin() override { return 1 + m_input.Next() % 12; }

    bool buttonsDisabled = false;

private:
    UpgradeInputs m_inputs;
    FuzzInput& m_input;
};

std::shared_ptr<const FirmwareImage> MakeImage(FuzzInput& input)
{
    static const std::uint8_t kFirstBytes[] = {'F', 'B', 'L', 'M', 'f', 0};
    auto image = std::make_shared<FirmwareImage>();
    // Up to three fragments and a final piece, so that every step of the transfer is reachable.
    image->length = (input.Next() % 4) * FRAGMENT_SIZE + (input.Next() % 3) * 50;
    image->bytes.reset(new std::uint8_t[image->length + 1]);
    for (std::uint32_t i = 0; i < image->length; ++i)
        image->bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
    if (image->length > 0)
        image->bytes[0] = kFirstBytes[input.Next() % sizeof kFirstBytes];
    return image;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    UpgradeInputs inputs;
    inputs.adminId = input.Next() == 0 ? "" : "admin";
    inputs.password = "tovel";
    inputs.port = input.Next() == 0 ? "0" : "9000";
    inputs.address = {127, 0, 0, 1};
    if (input.Next() == 0)
        inputs.address = {255, 255, 255, 255};
    inputs.preloadedImage = MakeImage(input);

    FuzzCamera camera(input);
    CheckingFrontEnd frontEnd(inputs, input);
    StopSignal stop;
    if (UpgradeThreadProc(frontEnd, stop, &camera) != 0)
        std::abort();

    if (camera.closes != camera.sockets || camera.sockets > 1 || camera.sendsAfterClose != 0)
        std::abort();
    if (frontEnd.buttonsDisabled)
        std::abort();

    const FirmwareImage& image = *inputs.preloadedImage;
    const CredentialBlock credentials = EncodeCredentialBlock(inputs.adminId, inputs.password);
    std::vector<std::uint8_t> expected(credentials.bytes.begin(), credentials.bytes.end());
    UpgradeHeader header;
    if (BuildUpgradeHeader(image.data(), image.length, header)) {
        expected.insert(expected.end(), header.bytes.begin(), header.bytes.end());
        expected.insert(expected.end(), image.data(), image.data() + image.length);
    }
    if (camera.sent.size() > expected.size() ||
        !std::equal(camera.sent.begin(), camera.sent.end(), expected.begin()))
        std::abort();
    return 0;
}
