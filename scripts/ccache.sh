# Sourced by the scripts that build, after they set root (the top folder of the sources they
# build): the compiler cache for every build folder, when ccache is installed (install-deps.sh
# installs it). A fresh clone in another folder reuses what an earlier build of the same code
# compiled there: paths under the sources are hashed relative to them (CCACHE_BASEDIR), and the
# build folder's own path is not hashed (CCACHE_NOHASHDIR). CCACHE_DISABLE=1 builds without it.
# After sourcing: launcher, the CMake options that put ccache in front of the compilers.
launcher=()
if command -v ccache > /dev/null; then
  export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=true
  export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-12G}
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
