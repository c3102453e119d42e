# KLU sparse LU from SuiteSparse, with the libraries it depends on.
find_path(KLU_INCLUDE_DIR klu.h PATH_SUFFIXES suitesparse)
find_library(KLU_LIBRARY klu)
find_library(KLU_AMD_LIBRARY amd)
find_library(KLU_COLAMD_LIBRARY colamd)
find_library(KLU_BTF_LIBRARY btf)
find_library(KLU_CONFIG_LIBRARY suitesparseconfig)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(KLU REQUIRED_VARS KLU_INCLUDE_DIR KLU_LIBRARY KLU_AMD_LIBRARY
  KLU_COLAMD_LIBRARY KLU_BTF_LIBRARY KLU_CONFIG_LIBRARY)

if(KLU_FOUND AND NOT TARGET KLU::KLU)
  add_library(KLU::KLU INTERFACE IMPORTED)
  set_target_properties(KLU::KLU PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${KLU_INCLUDE_DIR}"
    INTERFACE_LINK_LIBRARIES "${KLU_LIBRARY};${KLU_BTF_LIBRARY};${KLU_AMD_LIBRARY};${KLU_COLAMD_LIBRARY};${KLU_CONFIG_LIBRARY}")
endif()
