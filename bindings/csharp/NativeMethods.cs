// The kivanime C interface, declared for C#: every export, marshalled
// exactly, internal to the bindings. Strings go in as NUL-terminated UTF-8
// byte arrays (made by Utf8), because the runtimes disagree on what a plain
// string parameter becomes; texture paths come out as UTF-16; the draw
// record is a blittable 64-byte struct, handed to the host by reference.
// Kivanime.cs builds the public layer on this: a new export is one line here
// and a method there.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Kivanime
{
    /// <summary>One drawn part, as handed to the host's draw function.</summary>
    [StructLayout(LayoutKind.Sequential, Size = 64)]
    public struct AnimeDrawParams
    {
        public int Texture;
        public float X;
        public float Y;
        public float Reserved0;
        public float Reserved1;
        public float Rotation;
        public float ScaleX;
        public float ScaleY;
        public float Alpha;
        public uint Reserved2;
        public float AnchorX;
        public float AnchorY;
        public float SrcX;
        public float SrcY;
        public float SrcWidth;
        public float SrcHeight;
    }

    /// <summary>The four host functions, in slot order.</summary>
    [StructLayout(LayoutKind.Sequential)]
    internal struct AnimeHostCallbacks
    {
        public IntPtr LoadTexture;
        public IntPtr ReleaseTexture;
        public IntPtr Reserved;
        public IntPtr Draw;
    }

    /// <param name="path">NUL-terminated UTF-16 path, valid during the call.</param>
    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    internal delegate int AnimeLoadTextureFn(IntPtr path);

    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    internal delegate void AnimeReleaseTextureFn(int texture);

    /// <param name="record">Valid during the call; blittable, so it is neither copied nor boxed.</param>
    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    internal delegate void AnimeDrawFn(ref AnimeDrawParams record);

    internal static class NativeMethods
    {
        // "kivanime" finds kivanime.dll on Windows and libkivanime.so on Linux.
        public const string Library = "kivanime";
        const CallingConvention C = CallingConvention.Cdecl;

        [DllImport(Library, CallingConvention = C)] public static extern void Anime_Init(ref AnimeHostCallbacks callbacks);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_Shutdown();
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_UnloadAll();
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_LoadModel(byte[] modelName, byte[] path);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_UnloadModel(byte[] modelName);
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_LoadMotion(byte[] modelName, byte[] path);
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_LoadExpression(byte[] modelName, byte[] path);
        [DllImport(Library, CallingConvention = C)] public static extern uint Anime_CreateInstance(byte[] modelName);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_DestroyInstance(uint id);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_DestroyAllInstances();
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_GetInstanceCount();
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_HasInstances();
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_PlayMotion(uint id, byte[] motionName, float speed);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_StopMotion(uint id);
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_IsMotionPlaying(uint id);
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_IsMotionFinished(uint id);
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_PlayOverlay(uint id, byte[] motionName, float speed, float weight);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_StopOverlay(uint id, byte[] motionName);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_StopAllOverlays(uint id);
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_SetExpression(uint id, byte[] expressionName);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_ClearExpression(uint id);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_SetPosition(uint id, float x, float y);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_GetPosition(uint id, out float x, out float y);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_SetScale(uint id, float scaleX, float scaleY);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_SetAlpha(uint id, float alpha);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_SetVisible(uint id, int visible);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_SetDrawOrder(uint id, int order);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_SetWind(uint id, float windX, float windY);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_SetGlobalWind(float windX, float windY);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_ResetPhysics(uint id);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_Set3DSetup(uint id, int enabled3D, float pivotX, float pivotY, float focalDistance, float curveRadiusX, float curveRadiusY);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_Set3DAngles(uint id, float yaw, float pitch, float roll);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_Set3DStrength(uint id, float depthStrength, float perspectiveStrength);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_Update(float dt);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_Render();
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_GetVersion();
        [DllImport(Library, CallingConvention = C)] public static extern IntPtr Anime_GetLastError();
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_LoadModelFromMemory(byte[] modelName, byte[] json, int length, byte[] baseDir);
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_LoadMotionFromMemory(byte[] modelName, byte[] json, int length);
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_LoadExpressionFromMemory(byte[] modelName, byte[] json, int length);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_RenderInstance(uint id);
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_GetPartTransform(uint id, byte[] partName, [Out] float[] transform);
    }

    /// <summary>UTF-8 in, UTF-8 out, the same on every runtime.</summary>
    internal static class Utf8
    {
        // Names for calls that neither keep them nor call the host go through
        // one buffer per thread, so that per-frame calls allocate nothing.
        [ThreadStatic] static byte[] scratch;

        /// <summary>NUL-terminated UTF-8 bytes of the text; null stays null.</summary>
        public static byte[] Encode(string text)
        {
            return text == null ? null : Into(new byte[Encoding.UTF8.GetByteCount(text) + 1], text);
        }

        /// <summary>The same in this thread's buffer, valid until its next use.</summary>
        public static byte[] Scratch(string text)
        {
            if (text == null) return null;
            int n = Encoding.UTF8.GetByteCount(text) + 1;
            if (scratch == null || scratch.Length < n) scratch = new byte[Math.Max(n, 64)];
            return Into(scratch, text);
        }

        static byte[] Into(byte[] bytes, string text)
        {
            bytes[Encoding.UTF8.GetBytes(text, 0, text.Length, bytes, 0)] = 0;
            return bytes;
        }

        /// <summary>The NUL-terminated UTF-8 text at the pointer.</summary>
        public static string Decode(IntPtr text)
        {
            if (text == IntPtr.Zero) return "";
            int n = 0;
            while (Marshal.ReadByte(text, n) != 0) n++;
            byte[] bytes = new byte[n];
            Marshal.Copy(text, bytes, 0, n);
            return Encoding.UTF8.GetString(bytes);
        }
    }
}
