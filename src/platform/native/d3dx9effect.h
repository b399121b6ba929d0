// Native stand-in for the D3DX 9 effect subset the plug-in uses. The plug-in
// never links D3DX: it loads the library at run time and calls these
// interfaces through the entry points it finds there.
#pragma once

#include "d3d9.h"

typedef const char* D3DXHANDLE;

#define D3DXFX_NOT_CLONEABLE (1 << 11)
#define D3DXFX_LARGEADDRESSAWARE (1 << 17)

typedef enum _D3DXPARAMETER_CLASS {
  D3DXPC_SCALAR,
  D3DXPC_VECTOR,
  D3DXPC_MATRIX_ROWS,
  D3DXPC_MATRIX_COLUMNS,
  D3DXPC_OBJECT,
  D3DXPC_STRUCT,
  D3DXPC_FORCE_DWORD = 0x7fffffff
} D3DXPARAMETER_CLASS;

typedef enum _D3DXPARAMETER_TYPE {
  D3DXPT_VOID,
  D3DXPT_BOOL,
  D3DXPT_INT,
  D3DXPT_FLOAT,
  D3DXPT_STRING,
  D3DXPT_TEXTURE,
  D3DXPT_FORCE_DWORD = 0x7fffffff
} D3DXPARAMETER_TYPE;

typedef struct _D3DXPARAMETER_DESC {
  const char* Name;
  const char* Semantic;
  D3DXPARAMETER_CLASS Class;
  D3DXPARAMETER_TYPE Type;
  UINT Rows;
  UINT Columns;
  UINT Elements;
  UINT Annotations;
  UINT StructMembers;
  DWORD Flags;
  UINT Bytes;
} D3DXPARAMETER_DESC;

typedef struct _D3DXTECHNIQUE_DESC {
  const char* Name;
  UINT Passes;
  UINT Annotations;
} D3DXTECHNIQUE_DESC;

typedef struct _D3DXMACRO {
  const char* Name;
  const char* Definition;
} D3DXMACRO;

typedef struct D3DXVECTOR4 {
  FLOAT x, y, z, w;
} D3DXVECTOR4;

struct ID3DXInclude;
struct ID3DXEffectPool;

struct ID3DXBuffer : public IUnknown {
  virtual LPVOID STDMETHODCALLTYPE GetBufferPointer() = 0;
  virtual DWORD STDMETHODCALLTYPE GetBufferSize() = 0;
};

struct ID3DXBaseEffect : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetParameterDesc(D3DXHANDLE parameter,
                                                     D3DXPARAMETER_DESC* desc) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTechniqueDesc(D3DXHANDLE technique,
                                                     D3DXTECHNIQUE_DESC* desc) = 0;
  virtual D3DXHANDLE STDMETHODCALLTYPE GetParameterByName(D3DXHANDLE parameter,
                                                          const char* name) = 0;
  virtual D3DXHANDLE STDMETHODCALLTYPE GetTechniqueByName(const char* name) = 0;
  virtual D3DXHANDLE STDMETHODCALLTYPE GetPass(D3DXHANDLE technique, UINT index) = 0;
  virtual D3DXHANDLE STDMETHODCALLTYPE GetAnnotationByName(D3DXHANDLE object,
                                                           const char* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetBool(D3DXHANDLE parameter, BOOL b) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetBool(D3DXHANDLE parameter, BOOL* b) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetInt(D3DXHANDLE parameter, INT n) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetInt(D3DXHANDLE parameter, INT* n) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIntArray(D3DXHANDLE parameter, INT* n, UINT count) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFloat(D3DXHANDLE parameter, FLOAT f) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetVector(D3DXHANDLE parameter,
                                              const D3DXVECTOR4* vector) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetVectorArray(D3DXHANDLE parameter,
                                                   const D3DXVECTOR4* vector, UINT count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVectorArray(D3DXHANDLE parameter, D3DXVECTOR4* vector,
                                                   UINT count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetString(D3DXHANDLE parameter, const char** string) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetTexture(D3DXHANDLE parameter,
                                               IDirect3DBaseTexture9* texture) = 0;
};

struct ID3DXEffect : public ID3DXBaseEffect {
  virtual HRESULT STDMETHODCALLTYPE SetTechnique(D3DXHANDLE technique) = 0;
  virtual HRESULT STDMETHODCALLTYPE Begin(UINT* passes, DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE BeginPass(UINT pass) = 0;
  virtual HRESULT STDMETHODCALLTYPE EndPass() = 0;
  virtual HRESULT STDMETHODCALLTYPE End() = 0;
  virtual HRESULT STDMETHODCALLTYPE OnLostDevice() = 0;
  virtual HRESULT STDMETHODCALLTYPE OnResetDevice() = 0;
};

struct ID3DXEffectCompiler : public ID3DXBaseEffect {
  virtual HRESULT STDMETHODCALLTYPE CompileEffect(DWORD flags, ID3DXBuffer** effect,
                                                  ID3DXBuffer** error_messages) = 0;
};
