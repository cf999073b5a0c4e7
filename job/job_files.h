#pragma once

// The record of what the running job has made, so that whoever ends it (the job itself, or a cancel
// from a front end) removes exactly that and never a file or folder of the user's.
//
// A canceller uses it like this, once it has set g_cancelRequested and terminated g_toolProcess:
// wait until the worker thread has ended (it stops at its next cancel point, without touching the
// output again), then close and clear g_outputFile, take CurrentJobFiles(), delete its `target` and
// call RemoveJobIntermediates on it. Taken while the worker still runs, the record may lack what the
// worker makes next.

#include <string>
#include <vector>

struct JobFiles {
  // The output the job created (or emptied); empty until the job opened it.
  std::string target;
  // "<source>xrftemp.avi" and "<source>.mp3": set when the stage that makes them starts.
  std::string reducedVideo;
  std::string sound;
  // The folder whose "temp" the frame tool fills: the current directory of the job.
  std::string workDirectory;
  // Whether the frame tool has been started, and whether "temp" existed before it: only a "temp"
  // that the job's tool created is ever removed.
  bool frameDumpStarted = false;
  bool tempExisted = false;
  // The numbers of the frame images the frame tool left; each one's two bitmaps are the job's too.
  // A job only starts when "temp" holds no frame files, so every frame file there is the job's.
  std::vector<int> frameNumbers;
};

// A copy of the running (or last) job's record; callable from any thread.
JobFiles CurrentJobFiles();

// Deletes the intermediate files named by the record: the reduced video, the sound, every frame
// file of its frame numbers (after a cancel during the frame dump, of those found in "temp"), and
// then "temp" itself when the job's tool created it and it is empty. Never the target.
void RemoveJobIntermediates(const JobFiles& files);

// The frame file names in "temp", relative to the current directory: "./temp/%08d<suffix>".
inline constexpr char kFrameImageSuffix[] = ".jpg";
inline constexpr char kPaletteBitmapSuffix[] = ".jpg.bmp";
inline constexpr char kTrueColorBitmapSuffix[] = ".jpg_24.bmp";
std::string FrameFileName(int frameNumber, const char* suffix);

// The numbers of the frame images ("%08d.jpg") in the folder, ascending; none when it is missing.
std::vector<int> FindFrameImages(const std::string& folder);
// Whether the folder holds any frame file: an image or either bitmap.
bool HoldsFrameFiles(const std::string& folder);

// Updates of the record, for the job's worker thread.
void BeginJobFiles(const std::string& workDirectory);
void RecordTarget(const std::string& target);
void RecordReducedVideo(const std::string& path);
void RecordSound(const std::string& path);
void RecordFrameDumpStart(bool tempExisted);
void RecordFrameNumbers(std::vector<int> frameNumbers);

// The folder "temp" under a work directory.
std::string TempFolderOf(const std::string& workDirectory);
