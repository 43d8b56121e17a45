// A drive left in its boot loader: ordinary matching never takes it, and recovery takes it only
// with the one image that names its maker and model.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/DialogTexts.h"
#include "engine/DriveList.h"
#include "engine/Recovery.h"
#include "package/Package.h"

// A namespace of its own: the Windows stage builds every test file as one.
namespace recovery_test {
using device::DriveRecord;
using engine::RecoveryVerdict;
using namespace package;

constexpr char kVendor[] = "QUORVANT";
constexpr char kProduct[] = "DVD-RW QV-1600  ";

// A drive as its loader answers: revision "0000" and FLASH INCOMPLETE, or only one of them.
DriveRecord Loader(const char* vendor = kVendor, const char* product = kProduct,
                   const char* revision = "0000", const char* text = "FLASH INCOMPLETE") {
    DriveRecord r;
    std::strncpy(r.vendor, vendor, 8);
    std::strncpy(r.product, product, 16);
    std::strncpy(r.revision, revision, 4);
    std::strncpy(r.vendorSpecific, text, 16);
    std::memcpy(r.rootPath, "E:\\", 3);
    r.present = 1;
    return r;
}

class Recovery : public ::testing::Test {
  protected:
    Recovery() : bytes_(kBlockSize) {
        WriteUnpackagedBlock(bytes_);
        Options("00010110002001100000000000000000");  // attended, two images
        for (int n = 1; n <= 2; ++n)
            SetFieldText(bytes_, NewFwValueOffset(n), kNewFwValueSize, "QV12");
        // Image 1 takes the whole family, loader revision included; image 2 another model.
        Entry(1, 1, "0000", "QV19", kVendor, kProduct);
        Entry(2, 1, "0000", "QV19", kVendor, "DVD-RW QV-2400  ");
    }
    void Options(const std::string& digits) {
        std::copy(digits.begin(), digits.end(), bytes_.begin() + kParaOptOffset + 9);
    }
    void Entry(int k, int e, const char* low, const char* high, const char* vendor,
               const char* product) {
        size_t at = EntryOffset(k, e);
        SetFieldText(bytes_, at + kEntryLowOffset, kEntryLowSize, low);
        SetFieldText(bytes_, at + kEntryHighOffset, kEntryHighSize, high);
        SetFieldText(bytes_, at + kEntryVendorOffset, kEntryVendorSize, vendor);
        SetFieldText(bytes_, at + kEntryProductOffset, kEntryProductSize, product);
    }
    engine::RecoveryFinding Find(const DriveRecord& r) {
        Package p(bytes_);
        p.Parse();
        return engine::FindRecovery(r, p);
    }
    std::vector<uint8_t> bytes_;
};

TEST_F(Recovery, OrdinaryMatchingNeverTakesALoaderWhateverTheRanges) {
    Package p(bytes_);
    p.Parse();
    for (const DriveRecord& loader :
         {Loader(), Loader(kVendor, kProduct, "0000", ""), Loader(kVendor, kProduct, "QV11")}) {
        DriveRecord r = loader;
        engine::MatchDrive(r, p, {});
        EXPECT_FALSE(r.matched) << r.revision << " / " << r.vendorSpecific;
    }
    DriveRecord whole = Loader(kVendor, kProduct, "QV11", "");
    engine::MatchDrive(whole, p, {});
    EXPECT_TRUE(whole.matched);
}

TEST_F(Recovery, TheOneImageNamingTheDriveRecoversIt) {
    engine::RecoveryFinding f = Find(Loader());
    EXPECT_EQ(f.verdict, RecoveryVerdict::Recoverable);
    EXPECT_EQ(f.imageIndex, 0);
    f = Find(Loader(kVendor, "DVD-RW QV-2400  "));
    EXPECT_EQ(f.verdict, RecoveryVerdict::Recoverable);
    EXPECT_EQ(f.imageIndex, 1);
    EXPECT_EQ(Find(Loader(kVendor, kProduct, "QV11", "")).verdict, RecoveryVerdict::NotInLoader);
}

TEST_F(Recovery, OnlyBothSignsAndAnExactNameCount) {
    EXPECT_EQ(Find(Loader(kVendor, kProduct, "0000", "")).verdict, RecoveryVerdict::OneSignOnly);
    EXPECT_EQ(Find(Loader(kVendor, kProduct, "QV11")).verdict, RecoveryVerdict::OneSignOnly);
    EXPECT_EQ(Find(Loader("OTHERCO ", kProduct)).verdict, RecoveryVerdict::NotNamed);
    EXPECT_EQ(Find(Loader(kVendor, "DVD-RW QV-16    ")).verdict, RecoveryVerdict::NotNamed);
    // An entry that leaves the maker or the model empty takes any such drive: it never counts.
    Entry(1, 1, "0000", "QV19", "", kProduct);
    Entry(2, 1, "0000", "QV19", kVendor, "");
    EXPECT_EQ(Find(Loader()).verdict, RecoveryVerdict::NotNamed);
}

TEST_F(Recovery, TwoImagesNamingTheDriveAreAmbiguous) {
    Entry(2, 3, "QV30", "QV39", kVendor, kProduct);
    engine::RecoveryFinding f = Find(Loader());
    EXPECT_EQ(f.verdict, RecoveryVerdict::Ambiguous);
    EXPECT_EQ(f.images, (std::vector<int>{0, 1}));
    EXPECT_NE(engine::LoaderDriveText(f, 0).find("images 1 and 2 both name"), std::string::npos);
}

TEST_F(Recovery, AnUnattendedPackageNeverRecovers) {
    Options("00010111002001100000000000000000");
    EXPECT_EQ(Find(Loader()).verdict, RecoveryVerdict::Unattended);
}

TEST_F(Recovery, TheWindowsOfferItOnlyWhenNothingIsToBeUpdated) {
    Package p(bytes_);
    p.Parse();
    DriveRecord foreign = Loader("OTHERCO ", kProduct);
    DriveRecord family = Loader();
    engine::RecoveryOffer offer = engine::OfferRecovery({&foreign, nullptr, &family}, p);
    EXPECT_TRUE(offer.offer);
    EXPECT_EQ(offer.drive, 2);
    EXPECT_EQ(offer.imageIndex, 0);
    DriveRecord toUpdate = Loader(kVendor, kProduct, "QV11", "");
    engine::MatchDrive(toUpdate, p, {});
    EXPECT_FALSE(engine::OfferRecovery({&family, &toUpdate}, p).offer);
    EXPECT_FALSE(engine::OfferRecovery({&foreign}, p).offer);
}

TEST(RecoverDialog, NamesTheDriveAndRevisionAndDefaultsToNo) {
    static_assert(engine::RecoverTexts::kDefaultNo);
    for (int language : {0, 1, 2}) {
        const std::string text =
            engine::ConsoleText(engine::DialogId::Recover, language, " 1-0-0-0 E:X", "QV12");
        EXPECT_NE(text.find(" 1-0-0-0 E:X"), std::string::npos) << language;
        EXPECT_NE(text.find("QV12"), std::string::npos) << language;
        engine::RecoverTexts t = engine::RecoverWords(language);
        EXPECT_FALSE(t.caption.empty() || t.yes.empty() || t.no.empty()) << language;
    }
}

}  // namespace recovery_test
