// The public layer over NativeMethods.cs: Anime (the library as a whole),
// Puppet (one instance, IDisposable), IAnimeHost (what the engine supplies)
// and KivanimeException (a failed load, with the library's reason). After
// warm-up, a frame (Update, Render, the draws, GetPartTransform) allocates
// nothing, so it never starts a garbage collection.
using System;
using System.Runtime.InteropServices;

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

    /// <summary>A load or creation failed; Message is the library's reason.</summary>
    public sealed class KivanimeException : Exception
    {
        public KivanimeException(string message) : base(message) { }
        public KivanimeException(string message, Exception inner) : base(message, inner) { }
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
        static IAnimeHost host;
        // An exception thrown by the host inside a callback must not unwind
        // through native frames: it is kept and thrown when the call returns.
        // The library calls the host on the thread that called it, so each
        // thread has its own.
        [ThreadStatic] static Exception pending;

        /// <summary>The loaded library's version (major * 10000 + minor * 100 + patch).</summary>
        public static int Version { get { return NativeMethods.Anime_GetVersion(); } }

        /// <summary>Why this thread's last call failed, or "".</summary>
        public static string LastError { get { return Utf8.Decode(NativeMethods.Anime_GetLastError()); } }

        /// <summary>Hands the library the host. Puppets created afterwards use it.</summary>
        public static void Init(IAnimeHost newHost)
        {
            if (Marshal.SizeOf(typeof(AnimeDrawParams)) != 64)
                throw new InvalidOperationException("AnimeDrawParams must be 64 bytes");
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

        /// <summary>Destroys every puppet (textures go back to the host) and model.</summary>
        public static void Shutdown() { NativeMethods.Anime_Shutdown(); ThrowPending(); }

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

        public static void SetGlobalWind(float x, float y) { NativeMethods.Anime_SetGlobalWind(x, y); }

        /// <summary>Advances every visible puppet by dt milliseconds.</summary>
        public static void Update(float dtMilliseconds) { NativeMethods.Anime_Update(dtMilliseconds); }

        /// <summary>Draws every visible puppet through the host.</summary>
        public static void Render() { NativeMethods.Anime_Render(); ThrowPending(); }

        static int Length(byte[] json) { return json == null ? 0 : json.Length; }

        // What the host threw comes first: it is why the call failed, if it did.
        internal static void Check(int result) { ThrowPending(); if (result == 0) throw new KivanimeException(LastError); }

        internal static void ThrowPending()
        {
            Exception e = pending;
            if (e == null) return;
            pending = null;
            throw new KivanimeException("the host failed: " + e.Message, e);
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
    }
}
