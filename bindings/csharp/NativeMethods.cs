// The kivanime C interface, declared for C#: every export, marshalled
// exactly, internal to the bindings. Strings go in as NUL-terminated UTF-8
// byte arrays (made by Utf8), because the runtimes disagree on what a plain
// string parameter becomes; texture paths come out as UTF-16; the records
// (the 64-byte draw record, events, mesh vertices) are blittable structs, so
// they cross by reference or in place, never copied by the marshaller.
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

        /// <summary>The colour to multiply the texture by (Reserved2, which holds
        /// R, G, B, A bytes in memory order): white unless a tint is set.</summary>
        public AnimeColor Tint { get { return new AnimeColor(Reserved2); } }
    }

    /// <summary>A tint: channels 0 to 255, straight alpha (always 255).</summary>
    public struct AnimeColor
    {
        public byte R, G, B, A;

        // The library's platforms are little-endian: memory order is low byte first.
        internal AnimeColor(uint packed)
        {
            R = (byte)packed;
            G = (byte)(packed >> 8);
            B = (byte)(packed >> 16);
            A = (byte)(packed >> 24);
        }
    }

    /// <summary>One vertex of a part's mesh: where it lands (the units of the
    /// record's X and Y) and its texture coordinates (0 to 1 over the whole
    /// texture, 0, 0 at the top-left corner).</summary>
    [StructLayout(LayoutKind.Sequential, Size = 16)]
    public struct AnimeMeshVertex
    {
        public float X, Y, U, V;
    }

    public enum AnimeEventKind
    {
        Event = 0,      // an event of the motion file
        Lap = 1,        // a looping motion completed a lap
        Finished = 2,   // a motion ended
    }

    public enum AnimeEventSource
    {
        Main = 0,
        Overlay = 1,
    }

    /// <summary>One entry of what the motions announced during the last Anime.Update.</summary>
    [StructLayout(LayoutKind.Sequential, Size = 32)]
    public struct AnimeEvent
    {
        public uint Instance;           // the Puppet's Id
        public AnimeEventKind Kind;
        public AnimeEventSource Source;
        public int IntValue;            // the event's "int"; for a lap, the laps completed in the update
        public float FloatValue;        // the event's "float"
        public float Time;              // in the motion (ms); a lap: the duration; an end: the clock where it ended
        public float LateMs;            // real ms from the moment it happened to the end of the update
        public uint Reserved;
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

    /// <param name="vertices">AnimeMeshVertex[vertexCount], read in place during the call.</param>
    /// <param name="indices">ushort[indexCount], three per triangle.</param>
    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    internal delegate void AnimeDrawMeshFn(ref AnimeDrawParams part, IntPtr vertices, int vertexCount, IntPtr indices, int indexCount);

    /// <summary>One range of a task the library hands out (Anime_SetTaskSystem).</summary>
    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    internal delegate void AnimeTaskFn(int start, int end, uint worker, IntPtr taskContext);

    /// <param name="task">An AnimeTaskFn.</param>
    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    internal delegate IntPtr AnimeEnqueueTaskFn(IntPtr task, int itemCount, int minRange, IntPtr taskContext, IntPtr userContext);

    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    internal delegate void AnimeFinishTaskFn(IntPtr userTask, IntPtr userContext);

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
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_CrossFadeMotion(uint id, byte[] motionName, float speed, float fadeMs);
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_QueueMotion(uint id, byte[] motionName, float speed, float fadeMs);
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_FadeOverlay(uint id, byte[] motionName, float targetWeight, float fadeMs);
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_GetEventCount();
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_GetEvent(int index, out AnimeEvent e);
        [DllImport(Library, CallingConvention = C)] public static extern IntPtr Anime_GetEventText(int index, int field);
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_SetPartOffset(uint id, byte[] partName, float x, float y, float rotation, float scaleX, float scaleY, float alpha);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_ClearPartOffsets(uint id);
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_SetPartTexture(uint id, byte[] partName, byte[] textureName);
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_SetSkin(uint id, byte[] skinName);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_SetTint(uint id, float r, float g, float b);
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_SetPartTint(uint id, byte[] partName, float r, float g, float b);
        [DllImport(Library, CallingConvention = C)] public static extern void Anime_SetMeshCallback(IntPtr drawMesh);
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_GetPartMesh(uint id, byte[] partName, [Out] AnimeMeshVertex[] vertices, int capacity);
        [DllImport(Library, CallingConvention = C)] public static extern int Anime_SetTaskSystem(IntPtr enqueue, IntPtr finish, int workerCount, IntPtr userContext);
    }

    /// <summary>UTF-8 in, UTF-8 out, the same on every runtime.</summary>
    internal static class Utf8
    {
        // Names for calls that neither keep them nor call the host go through
        // buffers kept per thread, so that per-frame calls allocate nothing: one
        // for the first name of a call, one for its second.
        [ThreadStatic] static byte[] scratch, scratch2;

        /// <summary>NUL-terminated UTF-8 bytes of the text; null stays null.</summary>
        public static byte[] Encode(string text)
        {
            return text == null ? null : Into(new byte[Encoding.UTF8.GetByteCount(text) + 1], text);
        }

        /// <summary>The same in this thread's buffer, valid until its next use.</summary>
        public static byte[] Scratch(string text) { return Scratch(text, ref scratch); }

        /// <summary>The same in the second buffer, for a call's second name.</summary>
        public static byte[] Scratch2(string text) { return Scratch(text, ref scratch2); }

        static byte[] Scratch(string text, ref byte[] buffer)
        {
            if (text == null) return null;
            int n = Encoding.UTF8.GetByteCount(text) + 1;
            if (buffer == null || buffer.Length < n) buffer = new byte[Math.Max(n, 64)];
            return Into(buffer, text);
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
