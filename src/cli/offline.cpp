#include "cli/offline.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "audio_io/audio_file.hpp"
#include "audio_io/resample.hpp"
#include "audio_io/std_streams.hpp"
#include "audio_io/stream_io.hpp"
#include "cli/detection_report.hpp"
#include "cli/filter_setup.hpp"
#include "cli/frequency_output.hpp"
#include "cli/options.hpp"
#include "dsp/dsp_state.hpp"
#include "dsp/process_block.hpp"
#include "platform/scoped_signals.hpp"

namespace velunda {
namespace {

// Progress on stderr, for long files on a terminal only.
class Progress {
 public:
  Progress(std::optional<int64_t> total, int32_t rate)
      : total_(total.value_or(0)),
        enabled_(::isatty(STDERR_FILENO) == 1 && total_ >= int64_t{60} * rate) {}
  void Update(int64_t done) {
    if (!enabled_) {
      return;
    }
    // A header may understate the length: never beyond a full bar.
    const int percent = static_cast<int>(std::min<int64_t>(done * 100 / total_, 100));
    if (percent == shown_) {
      return;
    }
    shown_ = percent;
    const int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r[%s%s] %3d %%", std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(kWidth - filled), ' ').c_str(), percent);
    std::fflush(stderr);
  }
  void Finish() {
    if (enabled_ && shown_ >= 0) {
      std::fprintf(stderr, "\r%*s\r", kWidth + 8, "");
      std::fflush(stderr);
    }
  }

 private:
  static constexpr int kWidth = 40;
  int64_t total_;
  bool enabled_;
  int shown_ = -1;
};

std::string Decimal(double value, int digits) {
  char text[64];
  std::snprintf(text, sizeof(text), "%.*f", digits, value);
  for (char* c = text; *c != '\0'; ++c) {
    if (*c == '.') {
      *c = ',';
    }
  }
  return text;
}

// An empty message stops quietly (the reader of the output went away).
int Report(const FileError& error) {
  if (!error.message.empty()) {
    std::cerr << error.message << '\n';
  }
  return error.exitStatus;
}

// The reader of stdout went away: the run ends as an interruption does, the output abandoned,
// with no message (the shell sees SIGPIPE's status).
[[noreturn]] void EndOnBrokenPipe(std::unique_ptr<AudioWriter> writer) {
  writer.reset();
  std::signal(SIGPIPE, SIG_DFL);
  std::raise(SIGPIPE);
  std::_Exit(128 + SIGPIPE);
}

std::string InputName(const Options& options) {
  return IsStdStream(options.input) ? "l'entrée standard" : options.input;
}

// The input at the filter's rate: a file or standard input, converted when its rate differs.
std::unique_ptr<AudioReader> OpenInput(const Options& options, int32_t rate, std::string& summary,
                                       const std::shared_ptr<SourceLength>& source,
                                       FileError& error) {
  int32_t inputRate = options.inputRate != 0 ? options.inputRate : rate;
  auto reader = IsStdStream(options.input)
                    ? OpenInputStream(STDIN_FILENO, options.rawSample, inputRate, error)
                    : AudioReader::OpenAtFileRate(options.input, inputRate, error);
  if (!reader || inputRate == rate) {
    return reader;
  }
  reader = ResamplingReader(std::move(reader), inputRate, rate, error, source);
  if (reader) {
    // The participle agrees with "l'entrée standard", or with the file a name stands for.
    const char* resampled = IsStdStream(options.input) ? "rééchantillonnée" : "rééchantillonné";
    std::cerr << "velunda-filtre : " << InputName(options) << " est à " << inputRate << " Hz, "
              << resampled << " à " << rate << " Hz, la fréquence du filtre\n";
    summary += " ; entrée rééchantillonnée de " + std::to_string(inputRate) + " à " +
               std::to_string(rate) + " Hz";
  }
  return reader;
}

std::string OutputName(const Options& options) {
  return IsStdStream(options.output) ? "la sortie standard" : options.output;
}

// The output's rate and width: the filter's rate in 8 bits, or --fe-sortie's in 16 bits.
int32_t OutputRate(const Options& options, int32_t rate) {
  return options.outputRate != 0 ? options.outputRate : rate;
}
OutputWidth WidthOf(const Options& options) {
  return options.outputRate != 0 ? OutputWidth::Pcm16 : OutputWidth::U8;
}

// Whether the input and the output are one regular file, by the same name or another (a link,
// a redirection): the result would replace the recording it is made from.
bool SameFile(const Options& options) {
  struct stat in {};
  struct stat out {};
  const bool haveIn = IsStdStream(options.input) ? ::fstat(STDIN_FILENO, &in) == 0
                                                 : ::stat(options.input.c_str(), &in) == 0;
  const bool haveOut = IsStdStream(options.output) ? ::fstat(STDOUT_FILENO, &out) == 0
                                                   : ::stat(options.output.c_str(), &out) == 0;
  return haveIn && haveOut && S_ISREG(in.st_mode) && in.st_dev == out.st_dev &&
         in.st_ino == out.st_ino;
}

// The usage errors found before any work: no input is read and no output made for nothing.
bool CheckBeforeWork(const Options& options, int32_t rate, FileError& error) {
  if (SameFile(options)) {
    error = {kExitUsage, "velunda-filtre : " + InputName(options) + " et " + OutputName(options) +
                             " sont le même fichier : le résultat remplacerait l'enregistrement "
                             "(choisissez une autre sortie)"};
    return false;
  }
  return IsStdStream(options.output) ||
         AudioWriter::CheckFormat(options.output, OutputRate(options, rate), WidthOf(options),
                                  error);
}

// Whether the input has no end of its own (standard input or a FIFO fed by a recorder, a
// device, a socket): a signal then ends the recording and the output keeps what came. A regular
// file cut short by a signal leaves no output instead.
bool EndlessInput(const Options& options) {
  struct stat st {};
  const int got =
      IsStdStream(options.input) ? ::fstat(STDIN_FILENO, &st) : ::stat(options.input.c_str(), &st);
  return got == 0 && !S_ISREG(st.st_mode);
}

// The output: a file or standard output, at the filter's rate in 8 bits, or with --fe-sortie
// converted to that rate in 16 bits. `length`: the input's samples, when known.
std::unique_ptr<AudioWriter> OpenOutput(const Options& options, int32_t rate, std::string& summary,
                                        std::shared_ptr<const SourceLength> source,
                                        std::optional<int64_t> length, FileError& error) {
  const int32_t outputRate = OutputRate(options, rate);
  const OutputWidth width = WidthOf(options);
  // The ratio is checked first, so that no output is created for nothing.
  if (std::string text; outputRate != rate && !Resampler::Create(rate, outputRate, text)) {
    error = {kExitUsage, text};
    return nullptr;
  }
  if (length && outputRate != rate) {
    length = ConvertedLength(*length, rate, outputRate);
  }
  auto writer = IsStdStream(options.output)
                    ? OpenOutputStream(STDOUT_FILENO, options.rawSample, outputRate, width, error)
                    : AudioWriter::Open(options.output, outputRate, error, width, length);
  if (writer && outputRate != rate) {
    // Converted back from a converted input: the input's own length at the output's rate.
    writer = ResamplingWriter(std::move(writer), rate, outputRate, error,
                              source->rate != 0 ? std::move(source) : nullptr);
    summary += " ; sortie rééchantillonnée à " + std::to_string(outputRate) + " Hz";
  }
  return writer;
}

// One block's detection lines, where the audio is not. False with `error` when stdout could
// not take them; a reader of stdout that went away ends the run quietly.
bool WriteDecisions(DspState& dsp, uint64_t firstStep, int32_t rate, int decisionsFd,
                    std::unique_ptr<AudioWriter>& writer, FileError& error) {
  std::ostringstream decisions;
  ReportDecisions(dsp, firstStep, rate, decisions);
  if (decisionsFd == STDERR_FILENO) {
    std::cerr << decisions.str() << std::flush;  // a stderr that went away does not fail the run
    return true;
  }
  const int err = decisions.tellp() > 0 ? WriteStdout(decisions.str()) : 0;
  if (err == EPIPE) {
    EndOnBrokenPipe(std::move(writer));
  }
  if (err != 0) {
    error = {kExitIo, StdoutErrorMessage(err)};
    return false;
  }
  return true;
}

// Filters the whole input into `writer` (and the spectrum, when asked for), block by block,
// counting the samples in `done`. A signal stops it after a whole block. False with `error` when
// reading or writing failed.
bool FilterAll(DspState& dsp, AudioReader& reader, std::unique_ptr<AudioWriter>& writer,
               int decisionsFd, SpectrumRecording& spectrum, Progress& progress, int64_t& done,
               FileError& error) {
  // The calibration's own steps do not count in the decisions' times.
  const uint64_t firstStep = dsp.Rejecteur.StepCount;
  const int32_t rate = dsp.SampleRate;
  const auto blockLength = static_cast<size_t>(dsp.BlockLength);
  const size_t subBlock = IsBfoKind(dsp.FilterKind) ? dsp.Transform.TransformSize : 1;
  std::vector<uint8_t> input(blockLength);
  std::vector<uint8_t> output(blockLength);
  for (;;) {
    size_t got = 0;
    if (!reader.Read(input.data(), blockLength, got, error)) {
      return false;
    }
    if (got == 0) {
      return true;
    }
    if (got < blockLength) {
      // The last block: a shorter one, padded with silence up to a whole BFO sub-block.
      const size_t padded = (got + subBlock - 1) / subBlock * subBlock;
      std::fill(input.begin() + static_cast<std::ptrdiff_t>(got), input.end(), uint8_t{128});
      dsp.BlockLength = static_cast<int32_t>(padded);
    }
    std::fill(output.begin(), output.end(), uint8_t{128});
    ProcessBlock(dsp, input.data(), output.data());
    spectrum.Add(rate, input.data(), output.data(), static_cast<int32_t>(got));
    if (!WriteDecisions(dsp, firstStep, rate, decisionsFd, writer, error) ||
        !writer->Write(output.data(), got, error)) {
      return false;
    }
    done += static_cast<int64_t>(got);
    progress.Update(done);
    if (got < blockLength || StopStreamOnSignals::StopSignal() != 0) {
      return true;
    }
  }
}

// The run's last line on stderr (stdout carries only the detection lines).
void PrintSummary(const Options& options, int64_t done, int32_t rate, double elapsed,
                  const std::string& conversion) {
  const double seconds = static_cast<double>(done) / rate;
  std::cerr << "velunda-filtre : " << done << " échantillons (" << Decimal(seconds, 1) << " s à "
            << rate << " Hz) filtrés en " << Decimal(elapsed, 2) << " s";
  if (elapsed > 0.0 && done > 0) {
    std::cerr << ", " << Decimal(seconds / elapsed, 0) << " fois le temps réel";
  }
  std::cerr << conversion;
  if (IsStdStream(options.output)) {
    std::cerr << " ; résultat sur la sortie standard\n";
  } else {
    std::cerr << " ; résultat dans " << options.output << '\n';
  }
}

}  // namespace

int RunOffline(const Options& options, Clock& calibrationClock) {
  const int32_t rate = SampleRateOf(options);
  const bool streamOut = IsStdStream(options.output);
  // With audio on stdout a signal ends the stream cleanly; a file output is removed instead,
  // unless the input has no end (below).
  std::optional<StopStreamOnSignals> streamSignals;
  if (streamOut) {
    streamSignals.emplace();
  }
  FileError error;
  if (!CheckBeforeWork(options, rate, error)) {
    return Report(error);
  }
  std::string conversion;
  auto source = std::make_shared<SourceLength>();
  auto reader = OpenInput(options, rate, conversion, source, error);
  if (!reader) {
    return Report(error);
  }
  // Checked before the (possibly long) preparation, so a bad output name fails at once.
  auto writer = OpenOutput(options, rate, conversion, source, reader->Length(), error);
  if (!writer) {
    return Report(error);
  }
  // Only now that the output is open: a signal before it ends the run with nothing written.
  // Set after the output's own handlers (a named temporary file's), and put back before them.
  std::optional<StopStreamOnSignals> recordingSignals;
  if (!streamSignals && EndlessInput(options)) {
    recordingSignals.emplace();
  }
  // A stdout or stderr that goes away shows as EPIPE at the write rather than killing the
  // run; a size limit (ulimit -f) as EFBIG, reported with the file's name.
  ScopedSignalHandlers ignored({SIGPIPE, SIGXFSZ}, SIG_IGN);

  auto dsp = std::make_unique<DspState>();
  PrepareFilter(*dsp, FilterSettingsOf(options), calibrationClock);
  const auto start = std::chrono::steady_clock::now();
  SpectrumRecording spectrum(options.spectrumImage);
  Progress progress(reader->Length(), rate);
  int64_t done = 0;
  const bool filtered = FilterAll(*dsp, *reader, writer, streamOut ? STDERR_FILENO : STDOUT_FILENO,
                                  spectrum, progress, done, error);
  const bool committed = filtered && writer->Commit(error);
  progress.Finish();
  if (!committed) {
    return Report(error);
  }
  if (const std::string notice = reader->ShortFileNotice(); !notice.empty()) {
    std::cerr << notice << '\n';
  }
  PrintSummary(options, done, rate,
               std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
               conversion);
  // The picture comes after the output, which it never holds back.
  const std::string pictureProblem = spectrum.Write(*dsp);
  if (!pictureProblem.empty()) {
    std::cerr << pictureProblem << '\n';
  }
  // A stream stopped by a signal: the output is whole and kept, the caller still learns why it
  // ended.
  if (const int signal = StopStreamOnSignals::StopSignal();
      signal != 0 && (streamSignals || recordingSignals)) {
    recordingSignals.reset();
    streamSignals.reset();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
  return pictureProblem.empty() ? kExitOk : kExitIo;
}

}  // namespace velunda
