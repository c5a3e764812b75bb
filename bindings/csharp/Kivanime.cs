// The public layer over NativeMethods.cs (which the build makes from the C
// header: the records, enums, delegates and one DllImport per export): Anime
// (the library as a whole, and
// the events of the last update), Puppet (one instance, IDisposable),
// IAnimeHost and IAnimeMeshHost (what the engine supplies), AnimeMesh (a
// part's triangles, read in place) and KivanimeException (a failed call,
// with the library's reason and its AnimeErrorCode). After warm-up, a frame
// (Update, Render, the draws and meshes, events without their texts, part
// transforms and meshes, offsets, tints, fades) allocates nothing, so it
// never starts a garbage collection.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace AOT
{
#if !UNITY_5_3_OR_NEWER
    // Ahead-of-time compilers (Unity's IL2CPP, Mono full AOT) can only hand
    // native code a static method marked with an attribute of this name;
    // Unity defines it, other runtimes get this one. Only the name matters.
    [AttributeUsage(AttributeTargets.Method)]
    internal sealed class MonoPInvokeCallbackAttribute : Attribute
    {
        public MonoPInvokeCallbackAttribute(Type type) { }
    }
#endif
}

namespace Kivanime
{
    public partial struct AnimeDrawParams
    {
        /// <summary>The colour to multiply the texture by (Reserved2, which holds
        /// R, G, B, A bytes in memory order): white unless a tint is set.</summary>
        public AnimeColor Tint { get { return new AnimeColor(Reserved2); } }

        /// <summary>How the part's colour meets what is below (Flags bits 0-1);
        /// the equations and GL blend functions are in the C header.</summary>
        public AnimeBlendMode Blend { get { return (AnimeBlendMode)(Flags & (uint)AnimeDrawFlag.BlendMask); } }

        /// <summary>True when the part has a mask but came to Draw as a whole
        /// sprite: clipping needs a mesh host (IAnimeMeshHost).</summary>
        public bool Unclipped { get { return (Flags & (uint)AnimeDrawFlag.Unclipped) != 0; } }
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

    /// <summary>What the engine supplies: textures and drawing.</summary>
    public interface IAnimeHost
    {
        /// <summary>Loads an image; returns a handle of 0 or more, negative on failure.</summary>
        int LoadTexture(string path);
        /// <summary>Frees a handle that LoadTexture returned.</summary>
        void ReleaseTexture(int texture);
        /// <summary>Draws one part (see docs/host-integration.md for the record).</summary>
        void Draw(ref AnimeDrawParams record);
    }

    /// <summary>What an engine that draws meshes supplies (Anime.SetMeshHost).</summary>
    public interface IAnimeMeshHost
    {
        /// <summary>Draws one part as textured triangles. part is the record Draw
        /// would have received (texture, alpha, tint); the vertices already include
        /// its placement. Both are valid only during the call. Do not cull: a
        /// mirrored part turns its triangles over.</summary>
        void DrawMesh(ref AnimeDrawParams part, AnimeMesh mesh);
    }

    /// <summary>A part's triangles where the library keeps them, valid only during
    /// IAnimeMeshHost.DrawMesh: nothing is copied. Read them with GetVertex and
    /// GetIndex, or, in unsafe code, through the pointers (AnimeMeshVertex and
    /// ushort arrays), for instance as spans.</summary>
    public struct AnimeMesh
    {
        public readonly IntPtr Vertices;
        public readonly int VertexCount;
        public readonly IntPtr Indices;
        /// <summary>Three per triangle, each below VertexCount.</summary>
        public readonly int IndexCount;

        internal AnimeMesh(IntPtr vertices, int vertexCount, IntPtr indices, int indexCount)
        {
            Vertices = vertices;
            VertexCount = vertexCount;
            Indices = indices;
            IndexCount = indexCount;
        }

        public AnimeMeshVertex GetVertex(int i)
        {
            Within(i, VertexCount);
            AnimeMeshVertex v;
            v.X = Float(16 * i);
            v.Y = Float(16 * i + 4);
            v.U = Float(16 * i + 8);
            v.V = Float(16 * i + 12);
            return v;
        }

        public int GetIndex(int i)
        {
            Within(i, IndexCount);
            return (ushort)Marshal.ReadInt16(Indices, 2 * i);
        }

        // The memory is the library's: nothing outside it may be read.
        static void Within(int i, int count)
        {
            if ((uint)i >= (uint)count) throw new ArgumentOutOfRangeException("i", i, "the mesh has " + count);
        }

        float Float(int offset)
        {
            Bits bits = new Bits();
            bits.Int = Marshal.ReadInt32(Vertices, offset);
            return bits.Float;
        }

        // A float's bits read as an int, without unsafe code or a boxed copy.
        [StructLayout(LayoutKind.Explicit)]
        struct Bits
        {
            [FieldOffset(0)] public int Int;
            [FieldOffset(0)] public float Float;
        }
    }

    /// <summary>A call failed; Message is the library's reason, Code its kind.</summary>
    public sealed class KivanimeException : Exception
    {
        readonly AnimeErrorCode code;

        public KivanimeException(string message) : base(message) { }
        public KivanimeException(string message, Exception inner) : base(message, inner) { }
        public KivanimeException(string message, AnimeErrorCode code) : base(message) { this.code = code; }
        public KivanimeException(string message, Exception inner, AnimeErrorCode code) : base(message, inner) { this.code = code; }

        /// <summary>Which kind of failure, to branch on. When the host threw (InnerException
        /// is its exception), the library's code for the same call: None, or
        /// TextureRefused for a texture load that threw.</summary>
        public AnimeErrorCode Code { get { return code; } }
    }

    /// <summary>The library: one per process, like the native one. BindingsVersion
    /// is in AnimeVersion.cs, which the build makes from the header's version.</summary>
    public static partial class Anime
    {
        // The host functions are static methods, and the delegates that wrap
        // them live in static fields for the whole life of the process: the
        // library keeps calling the function pointers made from them, so
        // they must never be collected, and AOT runtimes accept nothing but
        // static methods marked [MonoPInvokeCallback] as native callbacks.
        static readonly AnimeLoadTextureFn loadFn = OnLoadTexture;
        static readonly AnimeReleaseTextureFn releaseFn = OnReleaseTexture;
        static readonly AnimeDrawFn drawFn = OnDraw;
        static readonly AnimeDrawMeshFn drawMeshFn = OnDrawMesh;
        static IAnimeHost host;
        static IAnimeMeshHost meshHost;
        // An exception thrown by the host inside a callback must not unwind
        // through native frames: it is kept and thrown when the call returns.
        // The library calls the host on the thread that called it, so each
        // thread has its own.
        [ThreadStatic] static Exception pending;

        /// <summary>The loaded library's version (major * 10000 + minor * 100 + patch).</summary>
        public static int Version { get { return NativeMethods.Anime_GetVersion(); } }

        /// <summary>Why this thread's last call failed, or "".</summary>
        public static string LastError { get { return Utf8.Decode(NativeMethods.Anime_GetLastError()); } }

        /// <summary>Which kind of failure this thread's last call had; None after a success.</summary>
        public static AnimeErrorCode LastErrorCode { get { return (AnimeErrorCode)NativeMethods.Anime_GetLastErrorCode(); } }

        /// <summary>Hands the library the host. Puppets created afterwards use it.</summary>
        public static void Init(IAnimeHost newHost)
        {
            CheckSize(typeof(AnimeDrawParams), 64);
            CheckSize(typeof(AnimeEvent), 32);
            CheckSize(typeof(AnimeMeshVertex), 16);
            host = newHost;
            AnimeHostCallbacks table = new AnimeHostCallbacks();
            if (newHost != null)
            {
                table.LoadTexture = Marshal.GetFunctionPointerForDelegate(loadFn);
                table.ReleaseTexture = Marshal.GetFunctionPointerForDelegate(releaseFn);
                table.Draw = Marshal.GetFunctionPointerForDelegate(drawFn);
            }
            NativeMethods.Anime_Init(ref table);
        }

        /// <summary>Hands the library a mesh host: puppets created afterwards give it
        /// every drawn part that has a mesh, instead of IAnimeHost.Draw. Like the
        /// host, the latest one takes over every puppet created with one. null:
        /// puppets created afterwards draw every part through Draw.</summary>
        public static void SetMeshHost(IAnimeMeshHost newMeshHost)
        {
            if (newMeshHost != null) meshHost = newMeshHost;
            NativeMethods.Anime_SetMeshCallback(newMeshHost == null ? IntPtr.Zero : Marshal.GetFunctionPointerForDelegate(drawMeshFn));
        }

        /// <summary>Destroys every puppet (textures go back to the host) and model.</summary>
        public static void Shutdown() { NativeMethods.Anime_Shutdown(); ThrowPending(); }

        /// <summary>The same as Shutdown.</summary>
        public static void UnloadAll() { NativeMethods.Anime_UnloadAll(); ThrowPending(); }

        /// <summary>Destroys every puppet (textures go back to the host); the models stay.</summary>
        public static void DestroyAllPuppets() { NativeMethods.Anime_DestroyAllInstances(); ThrowPending(); }

        public static void LoadModel(string name, string path) { Check(NativeMethods.Anime_LoadModel(Utf8.Encode(name), Utf8.Encode(path))); }

        /// <summary>Loads a model from bytes (an archive entry, a resource); texture
        /// paths are relative to baseDir (null: none).</summary>
        public static void LoadModel(string name, byte[] json, string baseDir) { Check(NativeMethods.Anime_LoadModelFromMemory(Utf8.Encode(name), json, Length(json), Utf8.Encode(baseDir))); }

        public static void LoadMotion(string model, string path) { Check(NativeMethods.Anime_LoadMotion(Utf8.Encode(model), Utf8.Encode(path))); }
        public static void LoadMotion(string model, byte[] json) { Check(NativeMethods.Anime_LoadMotionFromMemory(Utf8.Encode(model), json, Length(json))); }
        public static void LoadExpression(string model, string path) { Check(NativeMethods.Anime_LoadExpression(Utf8.Encode(model), Utf8.Encode(path))); }
        public static void LoadExpression(string model, byte[] json) { Check(NativeMethods.Anime_LoadExpressionFromMemory(Utf8.Encode(model), json, Length(json))); }

        /// <summary>Destroys the model's puppets and drops the model.</summary>
        public static void UnloadModel(string name) { NativeMethods.Anime_UnloadModel(Utf8.Encode(name)); ThrowPending(); }

        public static int PuppetCount { get { return NativeMethods.Anime_GetInstanceCount(); } }

        public static bool HasPuppets { get { return NativeMethods.Anime_HasInstances() != 0; } }

        public static void SetGlobalWind(float x, float y) { NativeMethods.Anime_SetGlobalWind(x, y); }

        /// <summary>Advances every visible puppet by dt milliseconds.</summary>
        public static void Update(float dtMilliseconds) { NativeMethods.Anime_Update(dtMilliseconds); }

        /// <summary>Draws every visible puppet through the host.</summary>
        public static void Render() { NativeMethods.Anime_Render(); ThrowPending(); }

        /// <summary>How many entries the last Update produced: events of the motion
        /// files, laps of looping motions and ends of motions, of every puppet.</summary>
        public static int EventCount { get { return NativeMethods.Anime_GetEventCount(); } }

        /// <summary>Copies entry index (0 to EventCount - 1) of the last Update to e
        /// without allocating; false (and e cleared) out of range.</summary>
        public static bool GetEvent(int index, out AnimeEvent e)
        {
            if (NativeMethods.Anime_GetEvent(index, out e) != 0) return true;
            e = new AnimeEvent();
            return false;
        }

        /// <summary>The texts of entry index (each a new string; null out of range):
        /// the event's name, its motion's name, and the event's "string".</summary>
        public static string GetEventName(int index) { return EventText(index, 0); }
        public static string GetEventMotion(int index) { return EventText(index, 1); }
        public static string GetEventString(int index) { return EventText(index, 2); }

        static string EventText(int index, int field)
        {
            IntPtr text = NativeMethods.Anime_GetEventText(index, field);
            return text == IntPtr.Zero ? null : Utf8.Decode(text);
        }

        static int Length(byte[] json) { return json == null ? 0 : json.Length; }

        static void CheckSize(Type record, int size)
        {
            if (Marshal.SizeOf(record) != size) throw new InvalidOperationException(record.Name + " must be " + size + " bytes");
        }

        // What the host threw comes first: it is why the call failed, if it did.
        internal static void Check(int result) { ThrowPending(); if (result == 0) throw new KivanimeException(LastError, LastErrorCode); }

        internal static void ThrowPending()
        {
            Exception e = pending;
            if (e == null) return;
            pending = null;
            throw new KivanimeException("the host failed: " + e.Message, e, LastErrorCode);
        }

        [AOT.MonoPInvokeCallback(typeof(AnimeLoadTextureFn))]
        static int OnLoadTexture(IntPtr path)
        {
            try { return host.LoadTexture(Marshal.PtrToStringUni(path)); }
            catch (Exception e) { pending = pending ?? e; return -1; }
        }

        [AOT.MonoPInvokeCallback(typeof(AnimeReleaseTextureFn))]
        static void OnReleaseTexture(int texture)
        {
            try { host.ReleaseTexture(texture); }
            catch (Exception e) { pending = pending ?? e; }
        }

        [AOT.MonoPInvokeCallback(typeof(AnimeDrawFn))]
        static void OnDraw(ref AnimeDrawParams record)
        {
            try { host.Draw(ref record); }
            catch (Exception e) { pending = pending ?? e; }
        }

        [AOT.MonoPInvokeCallback(typeof(AnimeDrawMeshFn))]
        static void OnDrawMesh(ref AnimeDrawParams part, IntPtr vertices, int vertexCount, IntPtr indices, int indexCount)
        {
            try { meshHost.DrawMesh(ref part, new AnimeMesh(vertices, vertexCount, indices, indexCount)); }
            catch (Exception e) { pending = pending ?? e; }
        }
    }

    /// <summary>One puppet on screen. Dispose destroys it.</summary>
    public sealed class Puppet : IDisposable
    {
        public uint Id { get; private set; }

        /// <summary>Creates a puppet of a loaded model; throws if it is not loaded, or if
        /// the host threw while loading its textures (the puppet is then destroyed).</summary>
        public Puppet(string model)
        {
            Id = NativeMethods.Anime_CreateInstance(Utf8.Encode(model));
            try { Anime.Check(Id == 0 ? 0 : 1); }
            catch { Dispose(); throw; }
        }

        public void Dispose()
        {
            if (Id == 0) return;
            NativeMethods.Anime_DestroyInstance(Id);
            Id = 0;
            Anime.ThrowPending();
        }

        public bool PlayMotion(string name, float speed = 1f) { return NativeMethods.Anime_PlayMotion(Id, Utf8.Scratch(name), speed) != 0; }
        public void StopMotion() { NativeMethods.Anime_StopMotion(Id); }
        public bool IsMotionPlaying { get { return NativeMethods.Anime_IsMotionPlaying(Id) != 0; } }
        public bool IsMotionFinished { get { return NativeMethods.Anime_IsMotionFinished(Id) != 0; } }
        public bool PlayOverlay(string name, float speed = 1f, float weight = 1f) { return NativeMethods.Anime_PlayOverlay(Id, Utf8.Scratch(name), speed, weight) != 0; }

        /// <summary>Fades from what the puppet shows to the motion over fadeMs of update
        /// time (negative: the motion file's "fadeIn"; 0: at once, as PlayMotion). False
        /// where PlayMotion would fail.</summary>
        public bool CrossFadeMotion(string name, float speed = 1f, float fadeMs = -1f) { return NativeMethods.Anime_CrossFadeMotion(Id, Utf8.Scratch(name), speed, fadeMs) != 0; }

        /// <summary>Cross-fades to the motion when the current one ends (a looping one
        /// at its next lap), or at once if none plays; one waits, the latest.</summary>
        public bool QueueMotion(string name, float speed = 1f, float fadeMs = -1f) { return NativeMethods.Anime_QueueMotion(Id, Utf8.Scratch(name), speed, fadeMs) != 0; }

        /// <summary>Moves a playing overlay's weight to targetWeight over fadeMs (negative:
        /// the file's "fadeIn" or "fadeOut"); at 0 it stops. False if it is not playing.</summary>
        public bool FadeOverlay(string name, float targetWeight, float fadeMs = -1f) { return NativeMethods.Anime_FadeOverlay(Id, Utf8.Scratch(name), targetWeight, fadeMs) != 0; }
        public void StopOverlay(string name) { NativeMethods.Anime_StopOverlay(Id, Utf8.Scratch(name)); }
        public void StopAllOverlays() { NativeMethods.Anime_StopAllOverlays(Id); }
        public bool SetExpression(string name) { return NativeMethods.Anime_SetExpression(Id, Utf8.Scratch(name)) != 0; }
        public void ClearExpression() { NativeMethods.Anime_ClearExpression(Id); }

        public void SetPosition(float x, float y) { NativeMethods.Anime_SetPosition(Id, x, y); }
        public void GetPosition(out float x, out float y) { NativeMethods.Anime_GetPosition(Id, out x, out y); }
        public void SetScale(float x, float y) { NativeMethods.Anime_SetScale(Id, x, y); }
        public void SetAlpha(float alpha) { NativeMethods.Anime_SetAlpha(Id, alpha); }
        public void SetVisible(bool visible) { NativeMethods.Anime_SetVisible(Id, visible ? 1 : 0); }
        public void SetDrawOrder(int order) { NativeMethods.Anime_SetDrawOrder(Id, order); }

        public void SetWind(float x, float y) { NativeMethods.Anime_SetWind(Id, x, y); }
        public void ResetPhysics() { NativeMethods.Anime_ResetPhysics(Id); }

        public void Set3DSetup(bool enabled, float pivotX, float pivotY, float focalDistance, float curveRadiusX, float curveRadiusY)
        {
            NativeMethods.Anime_Set3DSetup(Id, enabled ? 1 : 0, pivotX, pivotY, focalDistance, curveRadiusX, curveRadiusY);
        }
        public void Set3DAngles(float yaw, float pitch, float roll) { NativeMethods.Anime_Set3DAngles(Id, yaw, pitch, roll); }
        public void Set3DStrength(float depth, float perspective) { NativeMethods.Anime_Set3DStrength(Id, depth, perspective); }

        /// <summary>Moves the part on top of its animation from the next Update on, until
        /// set again: x, y and rotation add, the scales and alpha multiply; children
        /// follow. Throws for an unknown part.</summary>
        public void SetPartOffset(string part, float x, float y, float rotation = 0f, float scaleX = 1f, float scaleY = 1f, float alpha = 1f)
        {
            Anime.Check(NativeMethods.Anime_SetPartOffset(Id, Utf8.Scratch(part), x, y, rotation, scaleX, scaleY, alpha));
        }
        public void ClearPartOffsets() { NativeMethods.Anime_ClearPartOffsets(Id); }

        /// <summary>Shows a texture of the model on the part until another swap (null:
        /// its own). Throws for an unknown part or texture.</summary>
        public void SetPartTexture(string part, string texture) { Anime.Check(NativeMethods.Anime_SetPartTexture(Id, Utf8.Scratch(part), Utf8.Scratch2(texture))); }

        /// <summary>Puts on a skin of the model (null: every part's own texture).
        /// Throws for an unknown skin.</summary>
        public void SetSkin(string skin) { Anime.Check(NativeMethods.Anime_SetSkin(Id, Utf8.Scratch(skin))); }

        /// <summary>Tints the whole puppet, channels 0 to 1; white is none.</summary>
        public void SetTint(float r, float g, float b) { NativeMethods.Anime_SetTint(Id, r, g, b); }

        /// <summary>Tints one part (times the puppet's tint). Throws for an unknown part.</summary>
        public void SetPartTint(string part, float r, float g, float b) { Anime.Check(NativeMethods.Anime_SetPartTint(Id, Utf8.Scratch(part), r, g, b)); }

        /// <summary>Draws this puppet alone, exactly as Anime.Render would.</summary>
        public void Render() { NativeMethods.Anime_RenderInstance(Id); Anime.ThrowPending(); }

        /// <summary>Fills transform (6 floats: x, y, rotation, scaleX, scaleY, alpha)
        /// with the part's record fields; false for an unknown part. With the array
        /// kept from frame to frame, nothing is allocated.</summary>
        public bool GetPartTransform(string part, float[] transform)
        {
            if (transform == null || transform.Length < 6) throw new ArgumentException("needs 6 floats", "transform");
            return NativeMethods.Anime_GetPartTransform(Id, Utf8.Scratch(part), transform) != 0;
        }

        /// <summary>Fills vertices (up to its length; null: none) with the part's mesh as
        /// the next render hands it to the mesh host, and returns the mesh's vertex
        /// count: 0 for an unknown part or one without a mesh. With the array kept,
        /// nothing is allocated.</summary>
        public int GetPartMesh(string part, AnimeMeshVertex[] vertices)
        {
            return NativeMethods.Anime_GetPartMesh(Id, Utf8.Scratch(part), vertices, vertices == null ? 0 : vertices.Length);
        }
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
