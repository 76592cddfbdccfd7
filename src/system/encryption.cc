// clsEncryption: the shell over the RC4 core (text through code page 1252, files streamed).
#include "narwick/system/encryption.h"

#include <vector>

#include "frame/class_registration.h"
#include "frame/member_table.h"
#include "frame/trap.h"
#include "narwick/frame/codepage.h"
#include "narwick/frame/file_system_tools.h"
#include "narwick/frame/variant.h"
#include "system/rc4.h"
#include "system/rc4_file.h"

namespace narwick {

clsEncryption::clsEncryption() : cipher_(std::make_unique<rc4::Cipher>()) {}

// Releasing fileTools ignores faults; a shared_ptr release cannot fail.
clsEncryption::~clsEncryption() = default;

const frame::ClassInfo& clsEncryption::TypeInfo() const {
  static const frame::ClassInfo info =
      frame::MemberTable<clsEncryption>("clsEncryption")
          .Let<void(const String&)>("encryptKey", &clsEncryption::encryptKey, {"strKey"})
          .Get<String() const>("encryptKey", &clsEncryption::encryptKey)
          .Let<void(const String&)>("encryptText", &clsEncryption::encryptText, {"strText"})
          .Get<String() const>("encryptText", &clsEncryption::encryptText)
          .Method("Encrypt", &clsEncryption::Encrypt, {"encryptionKey", "plainText"})
          .Method("Decrypt", &clsEncryption::Decrypt, {"encryptionKey", "cipherText"})
          .Method("encryptFile", &clsEncryption::encryptFile, {"originFileName", "destEncryptName"})
          .Method("DecryptFile", &clsEncryption::DecryptFile, {"encryptedFileName", "destFileName"})
          .Build();
  return info;
}

void clsEncryption::PrepareKey(const String& key) {
  const std::vector<Byte> bytes = ToAnsi(key);
  cipher_->Schedule(bytes);
}

// The whole text in one pass of the core: characters to bytes, keystream XOR, bytes back to
// characters. The indices start at 0 because PrepareKey has just reset them.
String clsEncryption::CipherString(const String& text) {
  std::vector<Byte> bytes = ToAnsi(text);
  cipher_->Apply(bytes);
  return FromAnsi(bytes);
}

String clsEncryption::Encrypt(const String& encryptionKey, const String& plainText) {
  return trap::Leave(String(), [&] {
    if (encryptionKey.empty()) return String();
    PrepareKey(encryptionKey);
    if (plainText.empty()) return String();
    return CipherString(plainText);
  });
}

String clsEncryption::Decrypt(const String& encryptionKey, const String& cipherText) {
  return Encrypt(encryptionKey, cipherText);
}

bool clsEncryption::CipherFile(const String& source, const String& destination, bool delete_source) {
  if (encrypt_key_.empty()) return true;  // no file is touched
  return trap::Leave(true, [&] {
    PrepareKey(encrypt_key_);
    rc4::CipherFile(*cipher_, ToUtf8(source), ToUtf8(destination));
    if (delete_source) {
      if (!file_tools_) file_tools_ = CreateFileSystemTools();
      file_tools_->DeleteFile(source);
    }
    return false;
  });
}

VariantBool clsEncryption::encryptFile(const String& originFileName, const String& destEncryptName) {
  return CipherFile(originFileName, destEncryptName, true);
}

VariantBool clsEncryption::DecryptFile(const String& encryptedFileName, const String& destFileName) {
  return CipherFile(encryptedFileName, destFileName, false);
}

NARWICK_REGISTER_CLASS(clsEncryption);

}  // namespace narwick
