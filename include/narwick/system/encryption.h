// clsEncryption: RC4 over text (code page 1252) and over files, byte for byte.
#pragma once

#include <memory>

#include "narwick/frame/object.h"
#include "narwick/frame/types.h"

namespace narwick {

class FileSystemTools;
namespace rc4 {
class Cipher;
}

// Enciphering and deciphering are one operation: Encrypt equals Decrypt, and encryptFile
// equals DecryptFile apart from deleting its source afterwards. RC4 is not secure by today's
// standards; the class exists to read and write data of the original component.
//
// Text: key and text characters become their code-page-1252 bytes ('?' for characters the
// page lacks); result bytes become the page's characters. Files are taken byte by byte.
// Every public member leaves with its failure value on a fault; none changes its arguments.
class clsEncryption final : public frame::AutomationObject {
 public:
  clsEncryption();
  ~clsEncryption() override;

  const frame::ClassInfo& TypeInfo() const override;

  // The key of the file members; empty when the object is made.
  String encryptKey() const { return encrypt_key_; }
  void encryptKey(const String& value) { encrypt_key_ = value; }
  // A stored text that no other member reads; empty when the object is made.
  String encryptText() const { return encrypt_text_; }
  void encryptText(const String& value) { encrypt_text_ = value; }

  // The enciphered text, as long as the text; "" when the key or the text is empty or on a
  // fault. Each call starts from a fresh key schedule.
  String Encrypt(const String& encryptionKey, const String& plainText);
  // Exactly Encrypt.
  String Decrypt(const String& encryptionKey, const String& cipherText);

  // Enciphers originFileName into destEncryptName with encryptKey, then deletes the source.
  // True when an error occurred (or the key is empty, in which case no file is touched);
  // False when the file was enciphered. A missing source is created empty while opening.
  VariantBool encryptFile(const String& originFileName, const String& destEncryptName);
  // As encryptFile, keeping its source.
  VariantBool DecryptFile(const String& encryptedFileName, const String& destFileName);

 private:
  // Key scheduling from the key's code-page bytes; resets streamI and streamJ.
  void PrepareKey(const String& key);
  String CipherString(const String& text);
  // Enciphers source into destination; true when an error occurred.
  bool CipherFile(const String& source, const String& destination, bool delete_source);

  String encrypt_key_;                    // encryptKey
  String encrypt_text_;                   // encryptText
  std::unique_ptr<rc4::Cipher> cipher_;   // sBox, streamI, streamJ
  std::shared_ptr<FileSystemTools> file_tools_;  // fileTools; made on first use
};

}  // namespace narwick
