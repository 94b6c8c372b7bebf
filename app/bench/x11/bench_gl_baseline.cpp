// The bare platform doing the Linux saver's kind of frame, with none of the project's code: its
// own X window and GLX context, and each frame a clear, a CPU-drawn background (black, 100
// two-pixel stars) uploaded whole into a texture and drawn as one quad, then 2,020 additive 16 x 16
// quads from one texture with per-vertex alpha in one buffer upload and one draw call, and the
// buffer swap. No sleep but the pacing's: the saver's loop adds its own Sleep(2) per frame.
// Only what OpenGL 2.1 and ES 2.0 share: shaders, one vertex buffer, RGBA bytes. It is what the
// saver's frame is measured against (scripts/perf.sh).
// Usage: bench_gl_baseline [-display NAME] [-geometry WxH | -fullscreen] [-frames N] [-pacing 0|1] [-fps]
// Prints frames, seconds, frames per second and the start-up on stdout (and a RESULT line for
// scripts); with -fps, the rate each second and the first frame's time on stderr, as the saver does.
#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "app/bench/bench_support.h"

namespace {

const int QuadsPerFrame = 2020;  // the saver's trail: 20 emitters of 101 points
const int StarsPerFrame = 100;
const int SpriteSide = 16;
const int BackgroundVertices = 6;
const long long PacedFrameNs = 1000000000LL / 31;

// The OpenGL 1.5 and 2.0 entry points: libGL need not export them, so they are looked up.
typedef char GLchar;
typedef ptrdiff_t GLsizeiptr;
typedef ptrdiff_t GLintptr;
#define GL2_FUNCTIONS(X)                                                                         \
  X(GLuint, glCreateShader, (GLenum type))                                                       \
  X(void, glShaderSource, (GLuint shader, GLsizei count, const GLchar* const* text, const GLint* length)) \
  X(void, glCompileShader, (GLuint shader))                                                      \
  X(void, glGetShaderiv, (GLuint shader, GLenum name, GLint* value))                             \
  X(void, glGetShaderInfoLog, (GLuint shader, GLsizei size, GLsizei* length, GLchar* log))       \
  X(GLuint, glCreateProgram, ())                                                                 \
  X(void, glAttachShader, (GLuint program, GLuint shader))                                       \
  X(void, glBindAttribLocation, (GLuint program, GLuint index, const GLchar* name))              \
  X(void, glLinkProgram, (GLuint program))                                                       \
  X(void, glGetProgramiv, (GLuint program, GLenum name, GLint* value))                           \
  X(void, glUseProgram, (GLuint program))                                                        \
  X(GLint, glGetUniformLocation, (GLuint program, const GLchar* name))                           \
  X(void, glUniform1i, (GLint location, GLint value))                                            \
  X(void, glUniform2f, (GLint location, GLfloat x, GLfloat y))                                   \
  X(void, glGenBuffers, (GLsizei n, GLuint* buffers))                                            \
  X(void, glBindBuffer, (GLenum target, GLuint buffer))                                          \
  X(void, glBufferData, (GLenum target, GLsizeiptr size, const void* data, GLenum usage))        \
  X(void, glEnableVertexAttribArray, (GLuint index))                                             \
  X(void, glVertexAttribPointer, (GLuint index, GLint size, GLenum type, GLboolean normalized, GLsizei stride, const void* offset))

#define DECLARE(ret, name, args) \
  typedef ret(*name##_type) args; \
  name##_type p_##name;
GL2_FUNCTIONS(DECLARE)
#undef DECLARE

bool LoadGL2() {
  bool all = true;
#define LOAD(ret, name, args)                                                                           \
  p_##name = reinterpret_cast<name##_type>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(#name))); \
  if (!p_##name) {                                                                                      \
    fprintf(stderr, "bench_gl_baseline: no %s\n", #name);                                              \
    all = false;                                                                                        \
  }
  GL2_FUNCTIONS(LOAD)
#undef LOAD
  return all;
}

// Our own copies of the enumerants, which gl.h gives only up to 1.3.
const GLenum ArrayBuffer = 0x8892, StreamDraw = 0x88E0, FragmentShader = 0x8B30, VertexShader = 0x8B31;
const GLenum CompileStatus = 0x8B81, LinkStatus = 0x8B82;

long long NowNs() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Seconds since this process was created (the kernel's start time has 1/CLK_TCK resolution).
double SinceProcessStart() {
  FILE* f = fopen("/proc/self/stat", "r");
  if (!f) return -1;
  char text[1024];
  const size_t n = fread(text, 1, sizeof text - 1, f);
  fclose(f);
  text[n] = 0;
  const char* p = strrchr(text, ')');
  if (!p) return -1;
  // Field 22, counted from field 3 just after the name.
  for (int field = 2; field < 22 && *p; ++p)
    if (*p == ' ') ++field;
  const double started = static_cast<double>(atoll(p)) / static_cast<double>(sysconf(_SC_CLK_TCK));
  timespec boot;
  clock_gettime(CLOCK_BOOTTIME, &boot);
  return static_cast<double>(boot.tv_sec) + static_cast<double>(boot.tv_nsec) * 1e-9 - started;
}

double CpuSeconds() {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// No #version line: GLSL 1.10 and GLSL ES 1.00 both take it. The textures hold the saver's
// 0x00RRGGBB pixels as bytes B, G, R, X, uploaded as RGBA, so the shader swaps red and blue.
const char* VertexSource =
    "uniform vec2 screen;\n"
    "attribute vec2 position;\n"
    "attribute vec2 coordinate;\n"
    "attribute float alpha;\n"
    "varying vec2 v_coordinate;\n"
    "varying float v_alpha;\n"
    "void main() {\n"
    "  v_coordinate = coordinate;\n"
    "  v_alpha = alpha;\n"
    "  gl_Position = vec4(position.x * 2.0 / screen.x - 1.0, 1.0 - position.y * 2.0 / screen.y, 0.0, 1.0);\n"
    "}\n";
const char* FragmentSource =
    "#ifdef GL_ES\n"
    "precision mediump float;\n"
    "#endif\n"
    "uniform sampler2D picture;\n"
    "varying vec2 v_coordinate;\n"
    "varying float v_alpha;\n"
    "void main() {\n"
    "  gl_FragColor = vec4(texture2D(picture, v_coordinate).bgr, v_alpha);\n"
    "}\n";

GLuint Compile(GLenum type, const char* source) {
  const GLuint shader = p_glCreateShader(type);
  p_glShaderSource(shader, 1, &source, nullptr);
  p_glCompileShader(shader);
  GLint ok = 0;
  p_glGetShaderiv(shader, CompileStatus, &ok);
  if (!ok) {
    char log[1024] = "";
    p_glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    fprintf(stderr, "bench_gl_baseline: shader: %s\n", log);
    return 0;
  }
  return shader;
}

struct Vertex {
  float x, y, u, v, alpha;
};

void PutQuad(Vertex* v, float x, float y, float w, float h, float alpha) {
  const Vertex a = {x, y, 0, 0, alpha}, b = {x + w, y, 1, 0, alpha}, c = {x, y + h, 0, 1, alpha},
               d = {x + w, y + h, 1, 1, alpha};
  v[0] = a, v[1] = b, v[2] = c, v[3] = b, v[4] = d, v[5] = c;
}

// The trail's layout of the Windows baseline: twenty rosette arms of 101 points, ages fading.
void MakeQuads(Vertex* v, int frame, int width, int height) {
  for (int i = 0; i < QuadsPerFrame; ++i) {
    const int emitter = i % 20, age = i / 20;
    const double angle = (emitter * 18 + age * 2 + frame) * 3.14159265 / 180;
    const double radius = (height / 3.0) * (0.3 + 0.7 * ((age * 7 + emitter) % 101) / 100.0);
    PutQuad(v + 6 * i, static_cast<float>(width / 2 + radius * cos(angle) - 8),
            static_cast<float>(height / 2 + radius * sin(angle) - 8), SpriteSide, SpriteSide, age / 100.0f);
  }
}

struct Star {
  int x, y, speed, intensity;
};

// What the saver's software frame does to its buffer: black, then the stars falling and blended.
void DrawBackground(std::vector<uint32_t>& pixels, std::vector<Star>& stars, int width, int height) {
  memset(pixels.data(), 0, pixels.size() * sizeof(uint32_t));
  for (Star& s : stars) {
    s.y = s.y + s.speed >= height - 1 ? 0 : s.y + s.speed;
    for (int row = 0; row < 2; ++row) {
      uint32_t& p = pixels[static_cast<size_t>(s.y + row) * width + s.x];
      uint32_t result = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        const int v = (255 * s.intensity + static_cast<int>((p >> shift) & 0xFF) * (256 - s.intensity)) >> 8;
        result |= static_cast<uint32_t>(v > 255 ? 255 : v) << shift;
      }
      p = result;
    }
  }
}

int Usage() {
  fprintf(stderr,
          "usage: bench_gl_baseline [-display NAME] [-geometry WxH | -fullscreen] [-frames N] [-pacing 0|1] [-fps]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const double atMain = Now();
  const double mainSinceStart = SinceProcessStart();
  const char* displayName = nullptr;
  int width = 0, height = 0, frames = 300;
  bool pacing = true, showFps = false;
  for (int i = 1; i < argc; ++i) {
    const bool more = i + 1 < argc;
    if (!strcmp(argv[i], "-display") && more) displayName = argv[++i];
    else if (!strcmp(argv[i], "-geometry") && more) {
      if (sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width < 16 || height < 16) return Usage();
    } else if (!strcmp(argv[i], "-fullscreen")) width = height = 0;
    else if (!strcmp(argv[i], "-frames") && more) frames = atoi(argv[++i]) < 2 ? 2 : atoi(argv[i]);
    else if (!strcmp(argv[i], "-pacing") && more) pacing = atoi(argv[++i]) != 0;
    else if (!strcmp(argv[i], "-fps")) showFps = true;
    else return Usage();
  }

  Display* display = XOpenDisplay(displayName);
  if (!display) {
    fprintf(stderr, "bench_gl_baseline: cannot open display %s\n", XDisplayName(displayName));
    return 1;
  }
  const int screen = DefaultScreen(display);
  const bool fullScreen = width == 0;
  if (fullScreen) {
    width = DisplayWidth(display, screen);
    height = DisplayHeight(display, screen);
  }
  int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8, None};
  XVisualInfo* visual = glXChooseVisual(display, screen, attributes);
  if (!visual) {
    fprintf(stderr, "bench_gl_baseline: no double-buffered RGB visual\n");
    return 1;
  }
  XSetWindowAttributes wa = {};
  wa.colormap = XCreateColormap(display, RootWindow(display, screen), visual->visual, AllocNone);
  wa.event_mask = StructureNotifyMask;
  wa.override_redirect = fullScreen ? True : False;
  const Window window = XCreateWindow(display, RootWindow(display, screen), 0, 0, width, height, 0, visual->depth,
                                      InputOutput, visual->visual, CWColormap | CWEventMask | CWOverrideRedirect, &wa);
  XStoreName(display, window, "bench_gl_baseline");
  XMapRaised(display, window);
  for (XEvent e;;) {
    XWindowEvent(display, window, StructureNotifyMask, &e);
    if (e.type == MapNotify) break;
  }
  const GLXContext context = glXCreateContext(display, visual, nullptr, True);
  if (!context || !glXMakeCurrent(display, window, context) || !LoadGL2()) {
    fprintf(stderr, "bench_gl_baseline: no OpenGL 2 context\n");
    return 1;
  }

  const GLuint vertexShader = Compile(VertexShader, VertexSource), fragmentShader = Compile(FragmentShader, FragmentSource);
  if (!vertexShader || !fragmentShader) return 1;
  const GLuint program = p_glCreateProgram();
  p_glAttachShader(program, vertexShader);
  p_glAttachShader(program, fragmentShader);
  p_glBindAttribLocation(program, 0, "position");
  p_glBindAttribLocation(program, 1, "coordinate");
  p_glBindAttribLocation(program, 2, "alpha");
  p_glLinkProgram(program);
  GLint linked = 0;
  p_glGetProgramiv(program, LinkStatus, &linked);
  if (!linked) {
    fprintf(stderr, "bench_gl_baseline: the shaders do not link\n");
    return 1;
  }
  p_glUseProgram(program);
  p_glUniform2f(p_glGetUniformLocation(program, "screen"), static_cast<float>(width), static_cast<float>(height));
  p_glUniform1i(p_glGetUniformLocation(program, "picture"), 0);

  GLuint textures[2];
  glGenTextures(2, textures);
  const GLuint background = textures[0], sprite = textures[1];
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  glBindTexture(GL_TEXTURE_2D, background);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  // A round glow, as the saver's sprites are.
  uint32_t glow[SpriteSide * SpriteSide];
  for (int y = 0; y < SpriteSide; ++y)
    for (int x = 0; x < SpriteSide; ++x) {
      const int dx = 2 * x - 15, dy = 2 * y - 15, r2 = dx * dx + dy * dy;
      const uint32_t level = r2 >= 225 ? 0 : static_cast<uint32_t>(255 - r2 * 255 / 225);
      glow[y * SpriteSide + x] = (level * 2 / 3) << 16 | (level / 3) << 8 | level;
    }
  glBindTexture(GL_TEXTURE_2D, sprite);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, SpriteSide, SpriteSide, 0, GL_RGBA, GL_UNSIGNED_BYTE, glow);

  GLuint buffer;
  p_glGenBuffers(1, &buffer);
  p_glBindBuffer(ArrayBuffer, buffer);
  for (GLuint a = 0; a < 3; ++a) p_glEnableVertexAttribArray(a);
  p_glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, x)));
  p_glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, u)));
  p_glVertexAttribPointer(2, 1, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, alpha)));
  glViewport(0, 0, width, height);
  glClearColor(0, 0, 0, 1);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);

  std::vector<Vertex> vertices(BackgroundVertices + 6 * QuadsPerFrame);
  PutQuad(vertices.data(), 0, 0, static_cast<float>(width), static_cast<float>(height), 1);
  std::vector<Star> stars;
  for (int i = 0; i < StarsPerFrame; ++i)
    stars.push_back({(i * 7919) % width, (i * 104729) % (height - 2), 1 + i % 3, 43 + (i % 10) * 22});

  double firstFrame = 0, measureStart = 0, lastReport = 0;
  int reportFrames = 0;
  long long next = NowNs();
  for (int frame = 0; frame < frames; ++frame) {
    DrawBackground(pixels, stars, width, height);
    MakeQuads(vertices.data() + BackgroundVertices, frame, width, height);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindTexture(GL_TEXTURE_2D, background);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    p_glBufferData(ArrayBuffer, static_cast<GLsizeiptr>(vertices.size() * sizeof(Vertex)), vertices.data(), StreamDraw);
    glDisable(GL_BLEND);
    glDrawArrays(GL_TRIANGLES, 0, BackgroundVertices);
    glBindTexture(GL_TEXTURE_2D, sprite);
    glEnable(GL_BLEND);
    glDrawArrays(GL_TRIANGLES, BackgroundVertices, 6 * QuadsPerFrame);
    glXSwapBuffers(display, window);
    while (XPending(display)) {
      XEvent e;
      XNextEvent(display, &e);
    }
    const double now = Now();
    if (frame == 0) {
      firstFrame = now - atMain;
      measureStart = lastReport = now;
      if (showFps) fprintf(stderr, "bench_gl_baseline: first frame after %.3f s\n", firstFrame + mainSinceStart);
    } else if (++reportFrames, now - lastReport >= 1.0) {
      if (showFps) fprintf(stderr, "bench_gl_baseline: %.1f frames per second\n", reportFrames / (now - lastReport));
      reportFrames = 0;
      lastReport = now;
    }
    if (pacing) {
      next += PacedFrameNs;
      // Late by more than a frame: start afresh rather than hurry to catch up.
      if (NowNs() - next > PacedFrameNs) {
        next = NowNs();
      } else {
        const timespec until = {static_cast<time_t>(next / 1000000000), static_cast<long>(next % 1000000000)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
        }
      }
    }
  }
  const double seconds = Now() - measureStart;
  const double fps = (frames - 1) / seconds;
  printf("%d x %d, %s, pacing %s: %d frames after the first in %.3f s, %.1f frames per second (%.2f ms a frame)\n",
         width, height, reinterpret_cast<const char*>(glGetString(GL_RENDERER)), pacing ? "on" : "off", frames - 1,
         seconds, fps, seconds * 1000 / (frames - 1));
  printf("start-up: first frame %.3f s after main, %.3f s after process creation; CPU %.2f s in all\n", firstFrame,
         firstFrame + mainSinceStart, CpuSeconds());
  printf("RESULT frames=%d seconds=%.4f fps=%.2f first_frame=%.4f\n", frames - 1, seconds, fps, firstFrame + mainSinceStart);
  fflush(stdout);
  glXMakeCurrent(display, None, nullptr);
  glXDestroyContext(display, context);
  XDestroyWindow(display, window);
  XCloseDisplay(display);
  return 0;
}
