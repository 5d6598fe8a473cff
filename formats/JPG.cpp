#include "formats/JPG.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jerror.h>
#include <jpeglib.h>

#include "formats/Bitmap.h"
#include "formats/TIFFex.h"
#include "platform/PageMemory.h"

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return:
// it jumps back to the routine that started the work. Warnings are silent, but
// a file that ends early counts as broken.
struct TJPEGError {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
  bool Truncated;
};

void ErrorExit(j_common_ptr Info) {
  TJPEGError* e = reinterpret_cast<TJPEGError*>(Info->err);
  std::longjmp(e->Jump, 1);
}

void EmitMessage(j_common_ptr Info, int Level) {
  TJPEGError* e = reinterpret_cast<TJPEGError*>(Info->err);
  if (Level < 0 && e->Manager.msg_code == JWRN_JPEG_EOF) e->Truncated = true;
}

void OutputMessage(j_common_ptr) {}

void InstallErrors(TJPEGError& E) {
  jpeg_std_error(&E.Manager);
  E.Manager.error_exit = ErrorExit;
  E.Manager.emit_message = EmitMessage;
  E.Manager.output_message = OutputMessage;
  E.Truncated = false;
}

// Decodes into Bitmap; the work that may jump lives in this frame, and every
// object with a destructor is made before the jump point.
bool Decode(const std::uint8_t* Data, std::size_t Size, TFastBMP& Bitmap, std::vector<std::uint8_t>& Row) {
  jpeg_decompress_struct info;
  TJPEGError err;
  std::memset(&info, 0, sizeof info);
  InstallErrors(err);
  info.err = &err.Manager;
  if (setjmp(err.Jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, Data, static_cast<unsigned long>(Size));
  jpeg_read_header(&info, TRUE);
  // Refuse absurd sides before libjpeg sizes its own buffers for them.
  if (!PictureSizeAllowed(info.image_width, info.image_height)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  info.mem->max_memory_to_use = long(std::min<std::uint64_t>(PageMemory::Limit(), 0x7FFFFFFF));
  // Best quality: the accurate integer transform and smooth upsampling.
  info.dct_method = JDCT_ISLOW;
  info.do_fancy_upsampling = TRUE;
  info.do_block_smoothing = TRUE;
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
  jpeg_start_decompress(&info);
  if (!SizePicture(Bitmap, info.output_width, info.output_height)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  // Adobe writes CMYK inverted; the conversion wants ink amounts.
  const bool inverted = cmyk && info.saw_Adobe_marker;
  if (cmyk) Row.resize(std::size_t(info.output_width) * 4);
  while (info.output_scanline < info.output_height) {
    std::uint8_t* dst = Bitmap.TopRow(int(info.output_scanline));
    JSAMPROW rows[1] = {cmyk ? Row.data() : dst};
    jpeg_read_scanlines(&info, rows, 1);
    if (cmyk) {
      if (inverted)
        for (std::uint8_t& v : Row) v = std::uint8_t(255 - v);
      ConvertCMYKRow(Row.data(), dst, 8, 4, info.output_width, false);
    }
  }
  jpeg_finish_decompress(&info);
  const bool truncated = err.Truncated;
  jpeg_destroy_decompress(&info);
  return !truncated;
}

bool Encode(const TFastBMP& Bitmap, int Quality, bool Progressive, unsigned char** Buffer, unsigned long* Size) {
  jpeg_compress_struct info;
  TJPEGError err;
  std::memset(&info, 0, sizeof info);
  InstallErrors(err);
  info.err = &err.Manager;
  if (setjmp(err.Jump)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, Buffer, Size);
  info.image_width = JDIMENSION(Bitmap.Width);
  info.image_height = JDIMENSION(Bitmap.Height);
  info.input_components = 3;
  info.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, Quality, TRUE);
  if (Progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW rows[1] = {Bitmap.TopRow(int(info.next_scanline))};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

bool DecodeJPEG(const std::uint8_t* Data, std::size_t Size, TFastBMP& Bitmap) {
  std::vector<std::uint8_t> row;
  if (Size == 0) return false;
  try {
    if (Decode(Data, Size, Bitmap, row)) return true;
  } catch (const std::bad_alloc&) {
  }
  Bitmap.SetSize(0, 0);
  return false;
}

bool EncodeJPEG(const TFastBMP& Bitmap, int Quality, bool Progressive, std::vector<std::uint8_t>& Out) {
  Out.clear();
  if (Bitmap.Width <= 0 || Bitmap.Height <= 0 || !Bitmap.Bits || Bitmap.Width > JPEG_MAX_DIMENSION ||
      Bitmap.Height > JPEG_MAX_DIMENSION)
    return false;
  Quality = Quality < 0 ? 0 : Quality > 100 ? 100 : Quality;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  const bool ok = Encode(Bitmap, Quality, Progressive, &buffer, &size);
  try {
    if (ok) Out.assign(buffer, buffer + size);
  } catch (const std::bad_alloc&) {
    std::free(buffer);
    return false;
  }
  std::free(buffer);
  return ok;
}

bool ReadJPEGImage(const std::string& FileName, TDataImage& Image, std::string& ErrorText) {
  std::string data, ignored;
  TFastBMP bitmap;
  if (!PictureFileFits(FileName, TPictureKind::JPEG, ErrorText)) return false;
  if (!ReadWholeFile(FileName, data, ignored) ||
      !DecodeJPEG(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), bitmap)) {
    ErrorText = JPEGOpenErrorText;
    return false;
  }
  if (!PictureToImage(bitmap, Image)) {
    ErrorText = PictureTooLargeText;
    return false;
  }
  return true;
}

bool WriteJPEGFile(const std::string& FileName, const TFastBMP& Bitmap, int Quality, bool Progressive,
                   std::string& ErrorText) {
  ErrorText = SaveErrorText;
  std::vector<std::uint8_t> bytes;
  TSafeFileWriter out;
  if (!EncodeJPEG(Bitmap, Quality, Progressive, bytes)) return false;
  if (!out.Open(FileName) || !out.Write(bytes.data(), bytes.size()) || !out.Commit()) {
    ErrorText = SaveFailureText(SaveErrorText, out);
    return false;
  }
  ErrorText.clear();
  return true;
}
